// Makes the settings of a writer's settings table the enumerators of its
// settings, in the order of the preference list; the choices' entries stay
// out. Included inside the enum, right before the table, whose end
// undefines the macros again:
//   enum Setting : int {
//   #include "WriterSettingIds.h"
//   #include "HtmlSettings.def"
//       kSettingCount
//   };
// No include guard: each table includes it anew.
#define OB_SETTING_BOOL(Ident, Default, English, Japanese) Ident,
#define OB_SETTING_TEXT(Ident, Default, English, Japanese) Ident,
#define OB_SETTING_CHOICE(Ident, Default, English, Japanese) Ident,
