// Resource ids of the program; a language library uses the same ids and names.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Message table.
#define IDS_DISPLAY_NAME 5101      // name in the list of installed programs
#define IDS_HELP_LINK 5102         // help link in the program group
#define IDS_MANUAL_LINK 5103       // link to the console tool's manual
#define IDS_REMOVE_CAPTION 5104    // caption of the removal's message boxes
#define IDS_REMOVAL_DONE 5105      // first line of the "/warning" box
#define IDS_DELETE_BY_HAND 5106    // second line; %s is the program's path
#define IDS_CONFIRM_REMOVAL 5107   // question before the removal
#define IDS_LIST_MISSING 5108      // %s is "Uninstall.lst"
#define IDS_TYPE_KORVEX 5109       // file type "Korvex"
#define IDS_TYPE_KORVEX_ZIP 5110   // file type "Korvex.ZIP"
