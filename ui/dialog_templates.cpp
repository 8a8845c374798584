#include "ui/dialog_templates.h"

namespace morvel {

namespace {

#define MORVEL_DIALOG(id, caption, face, points, cx, cy)
#define MORVEL_CONTROL(id, kind, text, x, y, cx, cy, style, name, icon) \
    {id, ControlKind::k##kind, text, x, y, cx, cy, style, name, icon},

constexpr ControlTemplate kMainEnglishControls[] = {
#include "res/dialog_102_en.inc"
};
constexpr ControlTemplate kMainJapaneseControls[] = {
#include "res/dialog_102_ja.inc"
};
constexpr ControlTemplate kAboutControls[] = {
#include "res/dialog_100.inc"
};

#undef MORVEL_DIALOG
#undef MORVEL_CONTROL
#define MORVEL_CONTROL(...)

#define MORVEL_DIALOG(id, caption, face, points, cx, cy) id, caption, face, points, cx, cy, kMainEnglishControls
const DialogTemplate kMainEnglish = {
#include "res/dialog_102_en.inc"
};
#undef MORVEL_DIALOG
#define MORVEL_DIALOG(id, caption, face, points, cx, cy) id, caption, face, points, cx, cy, kMainJapaneseControls
const DialogTemplate kMainJapanese = {
#include "res/dialog_102_ja.inc"
};
#undef MORVEL_DIALOG
#define MORVEL_DIALOG(id, caption, face, points, cx, cy) id, caption, face, points, cx, cy, kAboutControls
const DialogTemplate kAbout = {
#include "res/dialog_100.inc"
};
#undef MORVEL_DIALOG
#undef MORVEL_CONTROL

}  // namespace

const DialogTemplate& MainDialogTemplate(Language language) {
    return language == Language::kJapanese ? kMainJapanese : kMainEnglish;
}

const DialogTemplate& AboutDialogTemplate() { return kAbout; }

}  // namespace morvel
