/* Ids of the slicer's controls and resources, shared by the code and the
   resource script, which is why this header is plain C and macros only. */
#ifndef DORVANE_IDS_H
#define DORVANE_IDS_H

/* Child controls of the main window, in creation order. The group box of the
   source has no id of its own. */
#define ID_SOURCE_GROUP 0
#define ID_METHOD_GROUP 1
#define ID_DESTINATION_GROUP 2
#define ID_PORTIONS_LABEL 3
#define ID_SIZE_NOTE 4
#define ID_EQUAL_SIZE_LABEL 5
#define ID_COUNT_NOTE 6
#define ID_SOURCE_PATH_EDIT 7
#define ID_SOURCE_BROWSE_BUTTON 8
#define ID_REMOVABLE_RADIO 9
#define ID_DRIVE_COMBO 10
#define ID_SIZE_RADIO 11
#define ID_SIZE_COMBO 12
#define ID_UNIT_COMBO 13
#define ID_COUNT_RADIO 14
#define ID_COUNT_EDIT 15
#define ID_COUNT_UP_DOWN 16
#define ID_DESTINATION_EDIT 17
#define ID_DESTINATION_BROWSE_BUTTON 18
#define ID_SLICE_BUTTON 19
#define ID_HELP_BUTTON 20
#define ID_ABOUT_BUTTON 21
#define ID_EXIT_BUTTON 22
/* The recovery data row, between the methods and the destination. */
#define ID_RECOVERY_CHECK 23
#define ID_RECOVERY_BLOCKS_EDIT 24
#define ID_RECOVERY_UP_DOWN 25
#define ID_RECOVERY_BLOCKS_LABEL 26
#define ID_RECOVERY_NOTE 27
#define CONTROL_COUNT 28

/* Resources of dorvane.exe. The resource script spells out the about
   box's name, since windres would join a macro string to the one before. */
#define ID_ICON 102
#define ID_ABOUT_OK 1026
#define ABOUT_BOX_NAME "AboutBox"

#endif
