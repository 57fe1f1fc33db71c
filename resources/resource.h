// Resource ids of Kivrel.exe: dialogs, menu, icon, controls, commands and
// strings. Shared by the resource script and the code.
#pragma once

// Dialogs, menu and icon.
#define IDD_ABOUTBOX 100
#define IDD_KIVREL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_OPTIONS_MENU 129

// Controls of the main dialog.
#define IDC_OPTIONS 3
#define IDC_MODULE 1000
#define IDC_INITIAL_DIR 1001
#define IDC_FIND_MODULE 1002
#define IDC_FIND_INITIAL_DIR 1003
#define IDC_RESULTS 1004
#define IDC_SEARCH_DIRECTORIES 1005
#define IDC_REFERENCES 1006

// Commands.
#define IDM_ABOUTBOX 16
#define ID_OPTIONS_FONT 32773
#define ID_OPTIONS_HELPTIPS 32774
#define ID_OPTIONS_CLEANUP 32775
#define ID_OPTIONS_LOADER 32776

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_SECTION_MAIN 102
#define IDS_ENTRY_WINDOW 103
#define IDS_TIP_MODULE 104
#define IDS_TIP_INITIAL_DIR 105
#define IDS_ENTRY_FONT 106
#define IDS_TIP_RESULTS 107
#define IDS_TIP_SCAN 108
#define IDS_TIP_EXIT 109
#define IDS_TIP_FIND_MODULE 110
#define IDS_TIP_FIND_INITIAL_DIR 111
#define IDS_MODULE_FILTER 112
#define IDS_MSG_INVALID_NT_SIGNATURE 117
#define IDS_MSG_SCAN_FAILED 118
#define IDS_MSG_NO_REFERENCES 119
#define IDS_MSG_NO_MODULE 120
#define IDS_MSG_NOT_FOUND_HEADING 123
#define IDS_ENTRY_HELP 124
#define IDS_ENTRY_LOADER 125
#define IDS_TIP_LOADER 126
#define IDS_APP_TITLE 57344

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
