#pragma once

// Command identifiers of the menu and the toolbar. The numbers are fixed:
// menus, toolbar and prompts are matched to them.
enum MarloCommandId : int {
    ID_APP_EXIT = 57665,
    ID_APP_ABOUT = 57664,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_WINDOW_SPLIT = 57653,

    ID_OPEN_MAP = 32791,
    ID_SAVE_MAP = 32792,
    ID_PREFERENCES = 32793,
    ID_TOOLBAR_SAVE = 32794,
    ID_TOOLBAR_OPEN = 32795,
    ID_PROJECTION_LIST = 32796,
    ID_DEFAULT_ZOOM = 32797,
    ID_INVERSE_PROJECT = 32798,
    ID_PROJECT = 32799,
    ID_SET_ORIGIN = 32800,
    ID_ROTATE_BACK = 32801,
    ID_ROTATE = 32802,
    ID_VIEW_GRATICULE = 32803,
    ID_VIEW_CLIP_ON_SPHERE = 32804,
};

// Resource numbers of the main window's menu and toolbar and of the dialogs.
enum MarloResourceId : int {
    IDR_MAINFRAME = 128,
    IDD_ABOUTBOX = 100,
    IDD_PREFERENCES = 133,
    IDD_PROJECTION_ORIGIN = 134,
    IDC_USE_FORMAT2 = 1016,
    IDC_LATITUDE = 1021,
    IDC_LONGITUDE = 1022,
};
