/* Names of the module's resources and of the picture sizes, shared by qx.rc, the module's
   windows and the bitmap generator. Plain integer #defines only, so that every resource
   compiler reads this file as the C++ compiler does. */
#ifndef QX_RESOURCE_H
#define QX_RESOURCE_H

/* Status bar: 131 x 28, four picture buttons. */
#define STATUS_WIDTH 131
#define STATUS_HEIGHT 28

/* Button pictures of the status bar (22 x 17, 16 colours). */
#define IDB_CHINESE 102        /* a red zhong: Chinese input */
#define IDB_ASCII_PUNCT 103    /* small red comma and full stop */
#define IDB_ENGLISH 104        /* a red ying: English input */
#define IDB_CHINESE_PUNCT 105  /* dark-blue Chinese comma and full stop */
#define IDB_FULL_WIDTH 106     /* a red quan */
#define IDB_HALF_WIDTH 107     /* a black ban */

/* Mode labels of the status bar's menu button (50 x 20, 256 colours). */
#define IDB_MODE_PHONETIC 204
#define IDB_MODE_SHAPE 220
#define IDB_MODE_WUBI 232
#define IDB_MODE_WEB 242
#define IDB_MODE_PINYIN 245

/* Full-size picture windows (366 x 405, 16 colours). */
#define PICTURE_WIDTH 366
#define PICTURE_HEIGHT 405
#define IDB_INTRO 222      /* first introduction picture */
#define IDB_WUBI_NOTE 234  /* note on the five-stroke mode */
#define IDB_UPGRADE 237    /* second introduction picture: the upgrade notice */

/* The about box's picture (451 x 217, 16 colours). */
#define ABOUT_PICTURE_WIDTH 451
#define ABOUT_PICTURE_HEIGHT 217
#define IDB_ABOUT 214

/* Dialogs: the settings "WDGX" and the about box "ABOUTBOX", by name. Controls of the
   settings, each the check box of one setting. */
#define IDC_SIMPLE_WINDOW 1052   /* "简单窗口" */
#define IDC_CARET_FOLLOW 1011    /* "光标跟随" */
#define IDC_PHONETIC_FIRST 1012  /* "音形版优先" */
#define IDC_WUBI_FIRST 1034      /* "五笔优先" */
#define IDC_PINYIN_FIRST 1060    /* "拼音优先" */
#define IDC_SENTENCE_INPUT 1061  /* "整句输入" */
#define IDC_PINYIN_HINT 1051     /* "拼音跟随提示", setting "拼音提示" */
#define IDC_MENU_AUTO_SHOW 1033  /* "我已实现一个梦!", setting "菜单自动显示" */
/* The about box's web-site line. */
#define IDC_ABOUT_SITE 107

/* Strings: the tooltips of the four status buttons, then the hint over the working
   windows. */
#define IDS_TIP_CHINESE 1
#define IDS_TIP_MENU 2
#define IDS_TIP_PUNCT 3
#define IDS_TIP_WIDTH 4
#define IDS_TIP_USER_PHRASES 5

/* Menu of the soft-keyboard layouts; each item's command is CMD_LAYOUT_FIRST + layout. */
#define IDM_SOFT_LAYOUTS 200
#define CMD_LAYOUT_FIRST 1280 /* layout 0: common symbols */
#define CMD_LAYOUT_PUNCTUATION 1281
#define CMD_LAYOUT_RUSSIAN 1282
#define CMD_LAYOUT_ZHUYIN 1283
#define CMD_LAYOUT_PINYIN 1284
#define CMD_LAYOUT_HIRAGANA 1285
#define CMD_LAYOUT_KATAKANA 1286
#define CMD_LAYOUT_GREEK 1287
#define CMD_LAYOUT_NUMBERS 1288
#define CMD_LAYOUT_MATHS 1289
#define CMD_LAYOUT_UNITS 1290
#define CMD_LAYOUT_BOX_LINES 1291
#define CMD_LAYOUT_LAST 1292  /* layout 12: special symbols */

/* Commands of the status menu. The first item shares its id with layout 0. */
#define CMD_WEBSITE 1280
#define CMD_ABOUT 1293
#define CMD_NEWS 1294
#define CMD_MANUAL 1295
#define CMD_SETTINGS 1297
#define CMD_USER_PHRASES 1298
#define CMD_WEB_ADDRESSES 1299
#define CMD_RADICALS 1300
#define CMD_UPGRADE 1301
#define CMD_KEYWORD_QUERY 1302 /* the keyword dialog, next to the web-address dialog */
#define CMD_SENTENCE_INPUT 1303 /* "整句输入" switched; in no menu of the module's own */

/* Web-address management dialog "ZWWZ". */
#define IDC_WEB_LIST 1040
#define IDC_WEB_PUBLIC 1053
#define IDC_WEB_PERSONAL 1054
#define IDC_WEB_CODE 1048
#define IDC_WEB_NAME 1050
#define IDC_WEB_ADDRESS 1049
#define IDC_WEB_ADD 1017
#define IDC_WEB_DELETE 1018
#define IDC_WEB_FIND 1043
#define IDC_WEB_MODIFY 1027
#define IDC_WEB_STAR 1044
#define IDC_WEB_MERGE_PUBLIC 1058
#define IDC_WEB_MERGE_PERSONAL 1059
#define IDC_WEB_CLOSE 1045

/* Keyword-query dialog "ZX". */
#define IDC_KEYWORD 1036

/* The user-phrase dialog "TJXC" ("自造词组"). */
#define IDC_PHRASES_EXIT 1008   /* "退出" */
#define IDC_NEW_PHRASE 1014     /* the phrase box, "添加新词：" */
#define IDC_PHRASE_CODE 1015    /* the code box, "Tessel编码：" */
#define IDC_ADD_PHRASE 1017     /* "添加" */
#define IDC_DELETE_PHRASE 1018  /* "删除" */
#define IDC_PHRASE_LIST 1020    /* "您的私人词库：" */
#define IDC_BACKUP 1055         /* "备份": the four mode files into a folder */
#define IDC_RESTORE 1056        /* "恢复": back from a folder */

/* The soft keyboard: the item that turns it off, added to the layouts' menu. */
#define CMD_SOFT_KEYBOARD_OFF 1279

#endif
