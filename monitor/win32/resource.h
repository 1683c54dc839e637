/* Ids of the monitor's menu resource; the same values as monitor/windows.h,
   which the window code checks at compile time. */
#define IDM_EXIT_RC      10
#define IDM_MONITOR_1_RC 20
#define IDM_MONITOR_2_RC 21
#define IDM_EYE_1_RC     30
#define IDM_EYE_2_RC     31
#define IDM_ABOUT_RC     40
