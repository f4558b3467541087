// Identifiers of the desktop program's resources: dialog templates, controls, strings and the
// icon. Plain #defines, because the resource compiler reads this file too.
#pragma once

// Icon.
#define IDI_APP 106

// Dialog templates.
#define IDD_MAIN 107
#define IDD_PANE_CAN_TEXT 115
#define IDD_PANE_CAN_CSV 116
#define IDD_PANE_ANALOG_TEXT 117
#define IDD_PANE_ANALOG_CSV 118
#define IDD_PANE_CAN_PCAP 119
#define IDD_FILE_PANE 121
#define IDD_ADDITIONAL 127

// Main dialog.
#define IDC_START 1001
#define IDC_STOP 1002
#define IDC_FOLDER 1003
#define IDC_BROWSE 1004
#define IDC_PROGRESS 1006
#define IDC_CVTBASE 1020
#define IDC_FSBASE 1021
#define IDC_TARGET 1030
#define IDC_FORMAT 1031
#define IDC_ADDITIONAL 1050
#define IDC_ADDITIONAL_OPEN 1051

// File selection pane.
#define IDC_FILE_LIST 1005
#define IDC_REFRESH 1007
#define IDC_SELECT_ALL 1008
#define IDC_SELECT_NONE 1009
#define IDC_SELECT_INVERSE 1011
#define IDC_FILTER 1013

// Setting panes.
#define IDC_SIGNAL_LINE 1040
#define IDC_TIMESTAMP 1041
#define IDC_ELAPSED 1042
#define IDC_DELTA 1043
#define IDC_ADD_ANALOG 1044
#define IDC_ADD_GNSS 1045

// Additional settings dialog (its Close button is IDCANCEL, 2).
#define IDC_OUT_CODE 1052
#define IDC_LINE_FEED 1053
#define IDC_DELIMITER 1054

// Strings.
#define IDS_SELECT_FOLDER 106
#define IDS_COLUMN_NAME 107
#define IDS_COLUMN_SIZE 108
#define IDS_COLUMN_DATE 109
#define IDS_FILTER_ALL 110
#define IDS_FILTER_AUTO 111
#define IDS_LINE_BOTH 112
#define IDS_LINE_CH1 113
#define IDS_LINE_CH2 114
#define IDS_CODE_ANSI 128
#define IDS_CODE_UTF8 129
#define IDS_CODE_UTF8_BOM 130
#define IDS_EOL_CRLF 131
#define IDS_EOL_LF 132
#define IDS_EOL_CR 133
#define IDS_CANNOT_CONVERT 137
#define IDS_SELECTION_LIMIT 138
#define IDS_UNSUPPORTED 139
#define IDS_TITLE 140
#define IDS_TARGET_CAN 150
#define IDS_TARGET_ANALOG 151
#define IDS_TARGET_GNSS 152
#define IDS_TARGET_WAVE 153
#define IDS_FORMAT_TEXT 155
#define IDS_FORMAT_CSV 156
#define IDS_FORMAT_KML 157
#define IDS_FORMAT_PCAP 158
#define IDS_STAMP_MICRO 160
#define IDS_STAMP_MILLI 161
#define IDS_STAMP_SEC 162
#define IDS_STAMP_DELTA 163
