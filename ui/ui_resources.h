// Resource identifiers of HiveSweep.exe, shared by hivesweep.rc and the
// window code (plain defines: windres reads this file too).
#pragma once

#define IDI_HIVESWEEP 1

#define IDD_MAIN 100
#define IDD_ABOUT 101
#define IDD_PROBLEMS 120
#define IDD_BACKUP_PROGRESS 102
#define IDD_EXCLUDE_ADD 103

// Main window children. The navigation buttons use their commands as ids.
#define IDC_PAGE_AREA 1001
#define IDC_ABOUT_TITLE 1010
#define IDC_ABOUT_VERSION 1011
#define IDC_ABOUT_ICON 1012

// The detailed problem list (its Close button is IDCANCEL).
#define IDC_PROBLEM_LIST 1100
#define IDC_PROBLEM_SELECT_ALL 1101
#define IDC_PROBLEM_EXPORT 1102

// The backup progress dialog and the exclusion add dialog.
#define IDC_PROGRESS_TEXT 1020
#define IDC_PROGRESS_BAR 1021
#define IDC_ADD_ROOT_LABEL 1030
#define IDC_ADD_ROOT 1031
#define IDC_ADD_KEY_LABEL 1032
#define IDC_ADD_KEY 1033
#define IDC_ADD_EXAMPLE 1034

// The system menu's About item (below 0xF000, a multiple of 16).
#define IDM_ABOUTBOX 0x0010

// Strings of the window (used when the language file lacks a text).
#define IDS_UI_FALLBACK_TITLE 2001
#define IDS_UI_VERSION_FORMAT 2002
#define IDS_UI_COPYRIGHT 2003
