/* Ids of the monitor's menu resource; the same values as monitor/window_tables.h,
   which the window code checks at compile time. */
#define IDM_EXIT_RC             10
#define IDM_RECORD_SESSION_RC   11
#define IDM_STOP_RECORDING_RC   12
#define IDM_OPEN_SESSION_RC     13
#define IDM_MONITOR_1_RC        20
#define IDM_MONITOR_2_RC        21
#define IDM_CALLS_RC            22
#define IDM_EYE_1_RC            30
#define IDM_EYE_2_RC            31
#define IDM_ABOUT_RC            40
