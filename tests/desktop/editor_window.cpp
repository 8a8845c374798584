// A small text editor for the tests: one X window (or one window per
// document) that understands the four chords the program sends and keeps its
// documents as plain UTF-8 bytes, with no drawing at all.
//
//   editor_window PREFIX [--text=FILE] [--select=START:LENGTH] [--new-window]
//                        [--vanish-on=LETTER]
//
//   Ctrl+C  puts the selection on CLIPBOARD (through xclip); nothing when
//           nothing is selected
//   Ctrl+A  selects the whole document
//   Ctrl+N  opens a new, empty document: in the same window, or with
//           --new-window in a window of its own that takes the focus
//   Ctrl+V  replaces the selection with the clipboard's text (xclip -o)
//
// A chord with Shift or Alt held is no command of this editor. Files it
// writes: PREFIX.id, the first window's id in decimal, once that window is
// mapped; PREFIX.doc0, PREFIX.doc1, ... the documents after every change;
// PREFIX.log, one letter per chord received (C, A, N, V; X for a chord with
// other modifiers), appended once the chord has been carried out.
// --vanish-on=a makes Ctrl+A close the editor before it does anything.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Document {
    std::string text;
    size_t selStart = 0, selLength = 0;
    xcb_window_t window = XCB_NONE;
};

xcb_connection_t* c;
xcb_screen_t* screen;
std::string prefix;
std::vector<Document> docs;
size_t current = 0;
bool newWindow = false;
char vanishOn = 0;
std::vector<xcb_keysym_t> keymap;  // the first keysym of each keycode from the lowest
size_t keysymsPerKey = 1;

// Written whole under a temporary name first, so a reader never sees half.
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path + ".tmp", std::ios::binary | std::ios::trunc) << bytes;
    std::rename((path + ".tmp").c_str(), path.c_str());
}

std::string ReadFile(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

void Shell(const std::string& command) { (void)!std::system(command.c_str()); }

void SaveDocuments() {
    for (size_t i = 0; i < docs.size(); ++i) WriteFile(prefix + ".doc" + std::to_string(i), docs[i].text);
}

void Log(char letter) { std::ofstream(prefix + ".log", std::ios::binary | std::ios::app) << letter; }

void LoadKeymap() {
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1), nullptr);
    if (reply == nullptr) std::exit(3);
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    keysymsPerKey = reply->keysyms_per_keycode;
    keymap.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    keymap.insert(keymap.begin(), setup->min_keycode * keysymsPerKey, 0);
    std::free(reply);
}

xcb_window_t MakeWindow(const char* title) {
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel,
                               XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 20, 20, 320, 200, 1, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(std::strlen(title)), title);
    const uint32_t hints[9] = {1, 1};  // WM_HINTS: input flag set, the window takes the focus
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    xcb_map_window(c, w);
    xcb_flush(c);
    return w;
}

void OnChord(xcb_window_t window, char letter) {
    Document* d = &docs[current];
    for (Document& other : docs)
        if (newWindow && other.window == window) d = &other;
    switch (letter) {
        case 'c':
            if (d->selLength > 0) {
                WriteFile(prefix + ".sel", d->text.substr(d->selStart, d->selLength));
                Shell("xclip -selection clipboard -i '" + prefix + ".sel' >/dev/null 2>&1");
            }
            return Log('C');
        case 'a':
            if (vanishOn == 'a') std::exit(0);
            d->selStart = 0;
            d->selLength = d->text.size();
            return Log('A');
        case 'n':
            docs.push_back({});
            if (newWindow) docs.back().window = MakeWindow("morvel test editor: new document");
            current = docs.size() - 1;
            SaveDocuments();
            return Log('N');
        case 'v': {
            Shell("timeout 5 xclip -selection clipboard -o >'" + prefix + ".clip' 2>/dev/null");
            const std::string text = ReadFile(prefix + ".clip");
            d->text.replace(d->selStart, d->selLength, text);
            d->selStart += text.size();
            d->selLength = 0;
            SaveDocuments();
            return Log('V');
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: editor_window PREFIX [--text=FILE] [--select=START:LENGTH] [--new-window]"
                             " [--vanish-on=LETTER]\n");
        return 2;
    }
    prefix = argv[1];
    Document first;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--text=", 0) == 0) first.text = ReadFile(arg.substr(7));
        if (arg.rfind("--select=", 0) == 0) std::sscanf(arg.c_str() + 9, "%zu:%zu", &first.selStart, &first.selLength);
        if (arg.rfind("--vanish-on=", 0) == 0) vanishOn = arg[12];
        newWindow = newWindow || arg == "--new-window";
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 3;
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    LoadKeymap();
    first.window = MakeWindow("morvel test editor");
    docs.push_back(first);
    SaveDocuments();

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        switch (event->response_type & 0x7F) {
            case XCB_MAP_NOTIFY:
                if (map->window == docs[0].window && docs.size() == 1) {
                    WriteFile(prefix + ".id", std::to_string(map->window));
                } else {
                    // A new document's window takes the focus, as an editor's would.
                    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, map->window, XCB_CURRENT_TIME);
                    xcb_flush(c);
                }
                break;
            case XCB_MAPPING_NOTIFY:
                LoadKeymap();
                break;
            case XCB_KEY_PRESS: {
                const size_t i = key->detail * keysymsPerKey;
                const xcb_keysym_t sym = i < keymap.size() ? keymap[i] : 0;
                if (!(key->state & XCB_MOD_MASK_CONTROL) || sym < 'a' || sym > 'z') break;
                if (key->state & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1))
                    Log('X');
                else
                    OnChord(key->event, static_cast<char>(sym));
                break;
            }
        }
        std::free(event);
    }
    return 0;
}
