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
