// Resource ids of Deckwright.exe, shared by the resource script and the code.
#pragma once

#include "platform/ui/afx_ids.h"

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDD_SETTINGS 132
#define IDD_FILE_SAVED 133

#define IDB_TOOLBAR_NORMAL 130
#define IDB_TOOLBAR_HOT 131
#define IDB_LOGO 135
#define IDB_NEXT 136
#define IDB_NEXT_PRESSED 137
#define IDB_PREVIOUS 138
#define IDB_PREVIOUS_PRESSED 139
#define IDB_FINISHED 140
#define IDB_FINISHED_PRESSED 141

// The same pictures for screens scaled 150% and 200%: the 100% id plus these.
#define IDB_AT_150 1000
#define IDB_AT_200 2000
#define IDB_TOOLBAR_NORMAL_150 1130
#define IDB_TOOLBAR_NORMAL_200 2130
#define IDB_TOOLBAR_HOT_150 1131
#define IDB_TOOLBAR_HOT_200 2131
#define IDB_LOGO_150 1135
#define IDB_LOGO_200 2135
#define IDB_NEXT_150 1136
#define IDB_NEXT_200 2136
#define IDB_NEXT_PRESSED_150 1137
#define IDB_NEXT_PRESSED_200 2137
#define IDB_PREVIOUS_150 1138
#define IDB_PREVIOUS_200 2138
#define IDB_PREVIOUS_PRESSED_150 1139
#define IDB_PREVIOUS_PRESSED_200 2139
#define IDB_FINISHED_150 1140
#define IDB_FINISHED_200 2140
#define IDB_FINISHED_PRESSED_150 1141
#define IDB_FINISHED_PRESSED_200 2141

// Commands of the menu and toolbar.
#define ID_ADD_FILE 61204
#define ID_REMOVE_SELECTED 61205
#define ID_REMOVE_ALL 61206
#define ID_REPAIR_FILE 61207
#define ID_SAVE_FILE 61208
#define ID_SETTINGS 61209
#define ID_HELP_CONTENTS 61210

// Controls of the panel.
#define IDC_NEXT 201
#define IDC_PREVIOUS 202
#define IDC_FINISHED 203
#define IDC_SELECT_ALL 204

// Controls of the Settings and File Saved dialogs.
#define IDC_SUFFIX 1000
#define IDC_SAVED_FOLDER 1000
#define IDC_SAVE_FOLDER 1001
#define IDC_BROWSE 1002
#define IDC_VIEW_SAVED 1003

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
