#include <gtest/gtest.h>

#include "lang/dialog_scale.h"

TEST(DialogScale, EntryParsing) {
  int w = 0, h = 0;
  EXPECT_TRUE(ParseDialogScale("125*110", &w, &h));
  EXPECT_EQ(w, 125);
  EXPECT_EQ(h, 110);
  EXPECT_FALSE(ParseDialogScale("", &w, &h));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 100);
  EXPECT_FALSE(ParseDialogScale("125", &w, &h));  // no asterisk: unscaled
  EXPECT_EQ(w, 100);
  EXPECT_FALSE(ParseDialogScale("100*100", &w, &h));
  EXPECT_TRUE(ParseDialogScale("100*90", &w, &h));
  EXPECT_EQ(h, 90);
  EXPECT_TRUE(ParseDialogScale("  +120x*\t-080", &w, &h));  // blanks, signs, digits up to another character
  EXPECT_EQ(w, 120);
  EXPECT_EQ(h, 100);  // -80: out of range
  EXPECT_TRUE(ParseDialogScale("2*\t 80", &w, &h));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 80);
}

// Values that would shrink a dialog to nothing or push it off the screen count as 100, each on its
// own; the limits themselves are usable.
TEST(DialogScale, PercentagesOutsideTheUsableRangeCountAs100) {
  int w = 0, h = 0;
  EXPECT_TRUE(ParseDialogScale("50*400", &w, &h));
  EXPECT_EQ(w, 50);
  EXPECT_EQ(h, 400);
  EXPECT_FALSE(ParseDialogScale("49*401", &w, &h));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 100);
  EXPECT_FALSE(ParseDialogScale("0*0", &w, &h));
  EXPECT_FALSE(ParseDialogScale("-100*-100", &w, &h));
  EXPECT_FALSE(ParseDialogScale("1000*1000", &w, &h));
  EXPECT_FALSE(ParseDialogScale("abc*", &w, &h));  // no digits give 0
  EXPECT_FALSE(ParseDialogScale("99999999999999*-99999999999999", &w, &h));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 100);
  EXPECT_TRUE(ParseDialogScale("1000*75", &w, &h));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 75);
}

TEST(DialogScale, ProductsTruncateTowardZeroAndNeverOverflow) {
  EXPECT_EQ(ScaleBy(199, 125), 248);
  EXPECT_EQ(ScaleBy(-199, 125), -248);
  EXPECT_EQ(ScaleBy(7, 50), 3);
  EXPECT_EQ(ScaleBy(-7, 50), -3);
  EXPECT_EQ(ScaleBy(1000000, 2147483647), 2147483647);
  EXPECT_EQ(ScaleBy(-1000000, 2147483647), -2147483647 - 1);
  // The dialog's new outer size: scaled client plus frame, the sum held to the range as well.
  EXPECT_EQ(ScaledWindowSize(400, 125, 7), 507);
  EXPECT_EQ(ScaledWindowSize(0x7FFFFFFF, 100, 100), 2147483647);
  EXPECT_EQ(ScaledWindowSize(0x7FFFFFFF, 400, 100), 2147483647);
  EXPECT_EQ(ScaledWindowSize(-0x7FFFFFFF - 1, 100, -100), -2147483647 - 1);
}

TEST(DialogScale, ChildPlacementFormulas) {
  // Dialog at (100, 50)-(400, 350), frame 6 wide, 25 high above the client area less the frame.
  ScreenRect dialog = {100, 50, 400, 350};
  ScreenRect child = {120, 90, 220, 110};
  ChildPlacement p = PlaceScaledChild(child, dialog, 6, 22, 125, 110, 0, false);
  EXPECT_EQ(p.x, (120 - 100 - 3) * 125 / 100);
  EXPECT_EQ(p.y, (90 - 50 - 22) * 110 / 100);
  EXPECT_EQ(p.width, 101 * 125 / 100);
  EXPECT_EQ(p.height, 21 * 110 / 100);
  // An odd frame width halves toward zero; a drop-down list adds its scaled height.
  ChildPlacement combo = PlaceScaledChild(child, dialog, 7, 22, 100, 150, 81, false);
  EXPECT_EQ(combo.x, 120 - 100 - 3);
  EXPECT_EQ(combo.height, 21 * 150 / 100 + 81 * 150 / 100);
  ChildPlacement same = PlaceScaledChild(child, dialog, 6, 22, 100, 100, 0, false);
  EXPECT_EQ(same.width, 101);  // the formulas count one more than the width
  // Mirrored, x runs from the client area's right edge (400 - 3) to the child's right edge.
  ChildPlacement mirrored = PlaceScaledChild(child, dialog, 6, 22, 125, 110, 0, true);
  EXPECT_EQ(mirrored.x, (400 - 220 - 3) * 125 / 100);
  EXPECT_EQ(mirrored.y, p.y);
  EXPECT_EQ(mirrored.width, p.width);
  EXPECT_EQ(mirrored.height, p.height);
}
