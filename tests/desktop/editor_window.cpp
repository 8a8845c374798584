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
std::vector<xcb_keysym_t> keymap;
int keysymsPerKey = 0;
xcb_keycode_t minKeycode = 0;

void WriteFile(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".tmp";
    std::ofstream(temp, std::ios::binary | std::ios::trunc) << bytes;
    std::rename(temp.c_str(), path.c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void SaveDocuments() {
    for (size_t i = 0; i < docs.size(); ++i) WriteFile(prefix + ".doc" + std::to_string(i), docs[i].text);
}

void Log(char letter) {
    std::ofstream(prefix + ".log", std::ios::binary | std::ios::app) << letter;
}

void LoadKeymap() {
    const xcb_setup_t* setup = xcb_get_setup(c);
    minKeycode = setup->min_keycode;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1), nullptr);
    if (reply == nullptr) std::exit(3);
    keysymsPerKey = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    keymap.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
}

xcb_keysym_t Keysym(xcb_keycode_t code) {
    const size_t i = static_cast<size_t>(code - minKeycode) * keysymsPerKey;
    return i < keymap.size() ? keymap[i] : 0;
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

// Runs `command` through the shell, feeding it `input` when not null;
// returns its standard output.
std::string Shell(const std::string& command, const std::string* input) {
    if (input != nullptr) {
        FILE* p = popen(command.c_str(), "w");
        if (p == nullptr) return {};
        std::fwrite(input->data(), 1, input->size(), p);
        pclose(p);
        return {};
    }
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return {};
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

Document& DocumentOf(xcb_window_t window) {
    if (newWindow)
        for (Document& d : docs)
            if (d.window == window) return d;
    return docs[current];
}

void OnChord(xcb_window_t window, char letter) {
    Document& d = DocumentOf(window);
    switch (letter) {
        case 'c':
            if (d.selLength > 0) {
                const std::string selection = d.text.substr(d.selStart, d.selLength);
                Shell("xclip -selection clipboard -i >/dev/null 2>&1", &selection);
            }
            Log('C');
            break;
        case 'a':
            if (vanishOn == 'a') {
                xcb_disconnect(c);
                std::exit(0);
            }
            d.selStart = 0;
            d.selLength = d.text.size();
            Log('A');
            break;
        case 'n': {
            Document fresh;
            if (newWindow) fresh.window = MakeWindow("morvel test editor: new document");
            docs.push_back(fresh);
            current = docs.size() - 1;
            SaveDocuments();
            Log('N');
            break;
        }
        case 'v': {
            const std::string text = Shell("timeout 5 xclip -selection clipboard -o 2>/dev/null", nullptr);
            d.text.replace(d.selStart, d.selLength, text);
            d.selStart += text.size();
            d.selLength = 0;
            SaveDocuments();
            Log('V');
            break;
        }
        default:
            break;
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
        if (arg.rfind("--text=", 0) == 0) {
            first.text = ReadFile(arg.substr(7));
        } else if (arg.rfind("--select=", 0) == 0) {
            std::sscanf(arg.c_str() + 9, "%zu:%zu", &first.selStart, &first.selLength);
        } else if (arg == "--new-window") {
            newWindow = true;
        } else if (arg.rfind("--vanish-on=", 0) == 0) {
            vanishOn = arg[12];
        }
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 3;
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    LoadKeymap();
    first.window = MakeWindow("morvel test editor");
    docs.push_back(first);
    SaveDocuments();

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        switch (event->response_type & 0x7F) {
            case XCB_MAP_NOTIFY: {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->window == docs[0].window && docs.size() == 1) {
                    WriteFile(prefix + ".id", std::to_string(map->window));
                } else {
                    // A new document's window takes the focus, as an editor's would.
                    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, map->window, XCB_CURRENT_TIME);
                    xcb_flush(c);
                }
                break;
            }
            case XCB_MAPPING_NOTIFY:
                LoadKeymap();
                break;
            case XCB_KEY_PRESS: {
                const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
                const xcb_keysym_t sym = Keysym(key->detail);
                if (!(key->state & XCB_MOD_MASK_CONTROL) || sym < 'a' || sym > 'z') break;
                if (key->state & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1))
                    Log('X');
                else
                    OnChord(key->event, static_cast<char>(sym));
                break;
            }
            default:
                break;
        }
        std::free(event);
    }
    return 0;
}
