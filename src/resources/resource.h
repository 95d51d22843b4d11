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
#define IDS_ALREADY_RUNNING 5111   // another setup or removal holds the machine-wide lock
#define IDS_DESCRIPTION 5112       // what the archiver is, for Default Programs
#define IDS_SETUP_FAILED 5113      // a setup could not write all it had to
#define IDS_PATH_UNNAMABLE 5114    // a path the ANSI code page cannot name: nothing was changed

// Setup dialog "SETUPDLG": one check box per archive type, in the order of the type table.
#define IDC_TYPE_KVX 5101
#define IDC_TYPE_ZIP 5102
#define IDC_TYPE_CAB 5103
#define IDC_TYPE_ARJ 5104
#define IDC_TYPE_LZH 5105
#define IDC_TYPE_ACE 5106
#define IDC_TYPE_TAR 5107
#define IDC_TYPE_GZIP 5108
#define IDC_TYPE_UUE 5109
#define IDC_TYPE_BZ2 5110
#define IDC_TYPE_JAR 5111
#define IDC_DESKTOP 5112
#define IDC_START_MENU 5113
#define IDC_PROGRAMS 5114
#define IDC_SHELL_EXT 5115
#define IDC_CASCADED_MENU 5116
#define IDC_MENU_ICONS 5117
#define IDC_SELECT_ALL 5118
#define IDC_EXPLANATION 5119
#define IDC_HELP_BUTTON 9

// Completion dialog "DONEDLG".
#define IDC_INSTALL_FOLDER 5101
#define IDC_RUN_ARCHIVER 5102
#define IDC_READ_HELP 5103
#define IDC_READ_LICENCE 5104
#define IDC_PRICE_LIST 5105
#define IDC_WEB_SITE 5106
#define IDC_THANKS 5107
#define IDC_TERMS_NOTE 5108
#define IDC_SITE_NOTE 5109
