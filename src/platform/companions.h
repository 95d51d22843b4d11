// The archiver's other components: files in the installation folder beside this program, the help
// file's pages and the maker's site.
#pragma once

#define KVX_ARCHIVER_EXE "Korvex.exe"
#define KVX_SHELL_EXTENSION "kvxext.dll"
#define KVX_HELP_FILE "korvex.hlp"
#define KVX_HELP_CONTEXT_SETUP 268  // the help file's page on the setup dialog
#define KVX_HELP_LINK_TARGET "Korvex.hlp"
#define KVX_CONSOLE_MANUAL "Kvx.txt"
#define KVX_LICENCE "licenza.txt"
#define KVX_PRICE_LIST "ordin.lnk"
#define KVX_FILE_LIST "Uninstall.lst"
#define KVX_KVX_TEMPLATE "kvxnew.dat"
#define KVX_ZIP_TEMPLATE "zipnew.dat"
#define KVX_CLSID "{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}"

// The maker's web site: the completion dialog opens it, the list of installed programs links to it.
#define KVX_WEB_SITE "https://www.korvex.example/"
