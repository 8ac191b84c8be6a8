// Identifiers shared by the resource script and the windows that use its resources.
#pragma once

#define IDI_MARIVANE 1
#define IDM_MAINMENU1 100

// Menu items of MainMenu1. None may be 1 or 2: the dialog manager sends those for Enter and Esc.
#define IDM_SAVEBOOTSCREENFILEAS 101
#define IDM_SELECT800X600IMAGE 102
#define IDM_SELECT1024X768IMAGE 103
#define IDM_EXIT1 104
#define IDM_ABOUT1 105
#define IDM_BOOTSCREENTEMPLATE 106
#define IDM_IMPORT800X600PICTURE 120
#define IDM_IMPORT1024X768PICTURE 121
#define IDM_OPENBOOTSCREENFILE 122
#define IDM_PREVIEWATBOOT 123
#define IDM_INSTALLBOOTSCREEN 124
#define IDM_RESTOREORIGINALBOOTSCREEN 125
