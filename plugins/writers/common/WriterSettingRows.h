// Makes the rows of a writer's settings table rows of obpref::Row
// (WriterSettings.h). Included inside the array, right before the table,
// whose end undefines the macros again:
//   const obpref::Row kRows[] = {
//   #include "WriterSettingRows.h"
//   #include "HtmlSettings.def"
//   };
// No include guard: each table includes it anew.
#define OB_SETTING_BOOL(Ident, Default, English, Japanese) {'B', nullptr, Default},
#define OB_SETTING_TEXT(Ident, Default, English, Japanese) {'T', Default, 0},
#define OB_SETTING_CHOICE(Ident, Default, English, Japanese) {'C', Default, 0},
#define OB_SETTING_ENTRY(Ident, English, Japanese) {'E', English, 0},
