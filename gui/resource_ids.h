// Identifiers shared by the resource script and the code.
#pragma once

#define IDI_APP_ICON 101

// The string table (strings.rc): every text the windows show. A text with
// inserts takes them as %1, %2, ... (FormatText), so a translation may put them
// in any order.
#define IDS_FINDINGS_TITLE 1000
#define IDS_COLUMN_WHAT 1001
#define IDS_COLUMN_WHERE 1002
#define IDS_COLUMN_FIX 1003
#define IDS_FIX_SELECTED 1004
#define IDS_UNDO_LAST 1005
#define IDS_COPY_REPORT 1006
#define IDS_CLOSE 1007
#define IDS_LOOKING 1008
#define IDS_FIXING 1009
#define IDS_UNDOING 1010
#define IDS_NOTHING_FOUND 1011
#define IDS_ONE_FOUND 1012
#define IDS_MANY_FOUND 1013
#define IDS_NOT_STARTED 1014
#define IDS_FAILED 1015
#define IDS_CAPTION 1016
#define IDS_FIX_QUESTION 1017
#define IDS_KIND_COUNT 1018
#define IDS_CLOSES_BROWSERS 1019
#define IDS_CLOSES_NO_BROWSER 1020
#define IDS_UNDO_QUESTION 1021
#define IDS_UNDO_LINE 1022
#define IDS_UNDO_MORE 1023
#define IDS_ADMINISTRATOR_QUESTION 1024
#define IDS_RESTARTED 1025
#define IDS_RESTART_FAILED 1026
#define IDS_RESULT_FIXED 1027
#define IDS_RESULT_PUT_BACK 1028
#define IDS_RESULT_LEFT 1029
#define IDS_RESULT_COUNTS 1030
#define IDS_NEEDS_ADMINISTRATOR 1031
#define IDS_CLOSE_DURING_WORK 1032
#define IDS_NOTHING_TO_UNDO 1033
#define IDS_LAST_FIX 1034
#define IDS_PUT_BACK_COUNTS 1035
// Both windows': a run refused because another holds the one-run lock, or because no lock could be had.
#define IDS_ANOTHER_RUN 1036
#define IDS_NO_LOCK 1037

// The main window's.
#define IDS_MAIN_TITLE 1100
#define IDS_DESCRIPTION 1101
#define IDS_READY 1102
#define IDS_STATUS_DONE 1103
#define IDS_STATUS_FILES_LOCKED 1104
#define IDS_STATUS_ITEMS_LEFT 1105
#define IDS_STATUS_ONE_LEFT 1106
#define IDS_STATUS_MANY_LEFT 1107
#define IDS_LINK 1108
#define IDS_LINK_AFTER_FINDINGS 1109
#define IDS_CONFIRM_RUN 1110
#define IDS_CONFIRM_RUN_CAPTION 1111
#define IDS_WORKING 1112
#define IDS_HEADER_TITLE 1113
#define IDS_SUBTITLE 1114
#define IDS_BYLINE 1115
#define IDS_BUTTON_TITLE 1116
#define IDS_BUTTON_CAPTION 1117
