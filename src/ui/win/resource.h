// Identifiers of the resource script kestrine.rc: included by the script and by the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The program's icon: the lowest id, so the shell shows it for the exe.
#define IDI_KESTRINE 1

// Settings dialog and its three pages.
#define IDD_SETTINGS 100
#define IDD_SETTINGS_GENERAL 101
#define IDD_SETTINGS_BACKUP 102
#define IDD_SETTINGS_SCHEDULED 103
#define IDC_SETTINGS_TABS 1001
#define IDC_START_ON_WINDOWS 1010
#define IDC_CHECK_BACKUP_FILE 1011
#define IDC_RUN_OUTLOOK_AFTER_BACKUP 1012
#define IDC_RUN_OUTLOOK_AFTER_RESTORE 1013
#define IDC_BACKUP_FOLDER 1020
#define IDC_BROWSE_FOLDER 1021
#define IDC_AUTO_CLOSE_OUTLOOK 1022
#define IDC_OPEN_FOLDER_AFTER_BACKUP 1023
#define IDC_GENERATE_FILE_NAME 1024
#define IDC_REPLACE_DEFAULT_FILE 1030
#define IDC_NEW_FILE_EACH_RUN 1031
#define IDC_CLOSE_OUTLOOK_FOR_SCHEDULE 1700
#define IDC_KEEP_NEWEST 1900
#define IDC_KEEP_COUNT 1901
#define IDC_KEEP_COUNT_LABEL 1902
#define IDC_NOTIFY_FAILURE 1940  // the balloon of a failed scheduled backup

// Scheduled-backup dialog.
#define IDD_SCHEDULER 110
#define IDC_TASK_PROFILE 1101
#define IDC_TASK_ITEM_FIRST 1110  // the nine items: 1110 .. 1118, in item order
#define IDC_TASK_START_TIME 1120
#define IDC_TASK_MONDAY 1121  // the seven days: 1121 .. 1127, Monday to Sunday
#define IDC_TASK_DAILY 1128
#define IDC_TASK_TARGET_FILE 1130
#define IDC_TASK_BROWSE_TARGET 1131
#define IDC_TASK_PROTECT 1132
#define IDC_TASK_PASSWORD 1133
#define IDC_TASK_PASSWORD2 1134
#define IDC_TASK_ADD 1140
#define IDC_TASK_DISABLE 1141
#define IDC_TASK_RUN_NOW 1142
#define IDC_TASK_STATUS 1910  // what the Task Scheduler has scheduled now
// "Set by your administrator", shown beside what a policy sets.
#define IDC_POLICY_CHECK_BACKUP 1960
#define IDC_POLICY_BACKUP_FOLDER 1961
#define IDC_POLICY_CLOSE_OUTLOOK 1962
#define IDC_POLICY_KEEP 1963
#define IDC_TASK_POLICY_SCHEDULE 1964
#define IDC_TASK_POLICY_FOLDER 1965
#define IDC_TASK_POLICY_PROTECT 1966

// Main window: the window, its menu, shortcuts and pop-up menus, and its four pages.
#define IDD_MAIN 120
#define IDD_PAGE_BACKUP 121
#define IDD_PAGE_RESTORE 122
#define IDD_PAGE_LOGS 123
#define IDD_PAGE_ABOUT 124
#define IDR_MAIN_MENU 125
#define IDR_MAIN_ACCELERATORS 126
#define IDR_ITEM_MENUS 127
#define IDC_MAIN_TABS 1201
#define IDC_ABOUT 1202
#define IDC_APPLY 1203
#define IDC_QUIT 1204
#define IDC_PROGRESS_PANEL 1205
#define IDC_PROGRESS_FILE 1206
#define IDC_PROGRESS_BAR 1207
#define IDC_PROGRESS_STEP 1208
#define IDC_CANCEL_RUN 1209
#define IDC_SOURCE_PROFILE 1210
#define IDC_BACKUP_ITEMS_FRAME 1211
#define IDC_BACKUP_ITEM_FIRST 1220  // the nine items: 1220 .. 1228, in item order
#define IDC_NOTE 1230
#define IDC_TARGET_FILE 1231
#define IDC_BROWSE_TARGET 1232
#define IDC_PROTECT 1233
#define IDC_PASSWORD 1234
#define IDC_PASSWORD2 1235
#define IDC_SOURCE_FILE 1240
#define IDC_BROWSE_SOURCE 1241
#define IDC_FILE_INFO 1242    // the backup's description
#define IDC_BACKUP_INFO 1243  // computer, user, time, profile and Outlook of the backup
#define IDC_TARGET_PROFILE 1244
#define IDC_RESTORE_ITEMS_FRAME 1245
#define IDC_RESTORE_ITEM_FIRST 1250  // the nine items: 1250 .. 1258, in item order
#define IDC_LOG_LIST 1260
#define IDC_LAST_BACKUP 1920       // the last completed backup: when, and whether it was checked
#define IDC_LAST_BACKUP_FILE 1921  // ... and its file
#define IDC_ABOUT_TITLE 1270
#define IDC_ABOUT_VERSION 1271
#define IDC_ABOUT_DESCRIPTION 1272
#define IDC_ABOUT_THANKS 1273
#define IDC_ABOUT_FILES 1800

// Menu commands.
#define IDM_BACKUP_NOW 40001
#define IDM_RESTORE_NOW 40002
#define IDM_UNDO_RESTORE 40100
#define IDM_QUIT 40003
#define IDM_TASK_SCHEDULER 40004
#define IDM_SETTINGS 40005
#define IDM_HELP 40006
#define IDM_ABOUT 40007
#define IDM_SELECT_ALL_BACKUP 40010
#define IDM_DESELECT_ALL_BACKUP 40011
#define IDM_SELECT_ALL_RESTORE 40012
#define IDM_DESELECT_ALL_RESTORE 40013

// About box.
#define IDD_ABOUT 130

// Password dialog.
#define IDD_PASSWORD 135
#define IDC_PASSWORD_ENTRY 1350
