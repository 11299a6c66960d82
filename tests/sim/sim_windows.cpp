// The simulated dialog manager: modal dialogs from the resource templates,
// their controls, list boxes, message boxes, icons and cursors.
#include <algorithm>
#include <cstring>

#include "shared/window_dialog.h"
#include "sim/sim.h"

using namespace win;

namespace {

sim::Machine& M() { return sim::machine(); }

std::string Str(const char* s) { return s ? s : "<null>"; }

std::string Lower(const std::string& s) {
    std::string out = s;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < out.size()) ++i;
        else if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
    }
    return out;
}

// A live window, or null after recording the misuse.
sim::Window* Live(HWND handle, const char* what) {
    sim::Window* w = M().FindWindow(handle);
    if (!w) return nullptr;
    if (w->destroyed) {
        M().misuse.push_back(std::string(what) + " to a destroyed window (id " + std::to_string(w->id) + ")");
        return nullptr;
    }
    return w;
}

std::string Label(const sim::Window* w) { return w ? std::to_string(w->id) : std::string("<no window>"); }

// The desktop window of the shell's process, when one runs.
HWND const kShellWindow = reinterpret_cast<HWND>(std::uintptr_t{0xDE5C});

}  // namespace

namespace sim {

HWND Machine::NewWindow(Window window) {
    window.handle = reinterpret_cast<HWND>(nextWindow_);
    nextWindow_ += 0x10;
    windows.push_back(std::make_unique<Window>(std::move(window)));
    return windows.back()->handle;
}

Window* Machine::FindWindow(HWND handle) {
    if (!handle) return nullptr;
    for (auto& w : windows)
        if (w->handle == handle) return w.get();
    return nullptr;
}

Window* Machine::Control(HWND dialog, int id) {
    for (auto& w : windows)
        if (w->parent == dialog && !w->isDialog && w->id == id) return w.get();
    return nullptr;
}

std::string Machine::Text(HWND window) {
    Window* w = FindWindow(window);
    return w ? w->text : std::string("<no window>");
}

std::string Machine::ControlText(HWND dialog, int id) {
    Window* w = Control(dialog, id);
    return w ? w->text : std::string("<no control>");
}

std::vector<std::string> Machine::Rows(HWND listBox) {
    Window* w = FindWindow(listBox);
    return w ? w->rows : std::vector<std::string>{};
}

Window* Machine::LastDialog(int templateId) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->isDialog && (*it)->id == templateId) return it->get();
    return nullptr;
}

INT_PTR Command(HWND dialog, int id) {
    Window* w = M().FindWindow(dialog);
    if (!w || !w->proc || w->destroyed) {
        M().misuse.push_back("command " + std::to_string(id) + " to a window that is not an open dialog");
        return 0;
    }
    return w->proc(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

}  // namespace sim

namespace win {

INT_PTR DialogBoxParamA(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM init) {
    M().Log("DialogBoxParamA " + std::to_string(templateId) + " owner " + Label(M().FindWindow(owner)));
    auto found = M().templates.find(templateId);
    if (found == M().templates.end()) return -1;
    const sim::DialogTemplate& tpl = found->second;

    sim::Window dialog;
    dialog.parent = owner;
    dialog.id = templateId;
    dialog.isDialog = true;
    dialog.className = "#32770";
    dialog.text = sim::FromCp949(tpl.caption);
    dialog.proc = proc;
    dialog.instance = instance;
    // Dialog units at about 1.75 pixels across and 2 down, centred in the work area.
    int width = tpl.cx * 7 / 4, height = tpl.cy * 2;
    const RECT& area = M().workArea;
    int left = (area.left + area.right - width) / 2, top = (area.top + area.bottom - height) / 2;
    dialog.rect = {left, top, left + width, top + height};
    HWND handle = M().NewWindow(dialog);
    for (const auto& c : tpl.controls) {
        sim::Window control;
        control.parent = handle;
        control.id = c.id;
        control.className = c.className;
        control.text = sim::FromCp949(c.text);
        control.sorted = std::find(c.styles.begin(), c.styles.end(), "LBS_SORT") != c.styles.end();
        M().NewWindow(control);
    }

    proc(handle, WM_INITDIALOG, 0, init);
    auto self = [&]() { return M().FindWindow(handle); };
    if (!self()->ended) {
        auto script = M().dialogScripts.find(templateId);
        if (script != M().dialogScripts.end()) script->second(handle);
    }
    if (!self()->ended) proc(handle, WM_COMMAND, IDCANCEL, 0);
    INT_PTR result = self()->ended ? self()->endResult : -1;
    for (auto& w : M().windows)
        if (w->handle == handle || w->parent == handle) w->destroyed = true;
    M().Log("DialogEnded " + std::to_string(templateId) + " " + std::to_string(result));
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    sim::Window* w = Live(dialog, "EndDialog");
    M().Log("EndDialog " + Label(w) + " " + std::to_string(result));
    if (!w || !w->isDialog) return FALSE;
    w->ended = true;
    w->endResult = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    sim::Window* w = M().Control(dialog, id);
    return w ? w->handle : nullptr;
}

BOOL SetWindowTextA(HWND window, const char* text) {
    sim::Window* w = Live(window, "SetWindowTextA");
    M().Log("SetWindowTextA " + Label(w) + " " + Str(text));
    if (!w) return FALSE;
    w->text = Str(text);
    return TRUE;
}

int GetWindowTextA(HWND window, char* buffer, int size) {
    sim::Window* w = Live(window, "GetWindowTextA");
    if (!w || size <= 0) return 0;
    std::size_t n = std::min<std::size_t>(w->text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, w->text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    sim::Window* w = M().FindWindow(window);
    std::string label = Label(w);
    if (message == LB_ADDSTRING || message == LB_DELETESTRING || message == LB_RESETCONTENT ||
        message == LB_FINDSTRINGEXACT) {
        std::string detail = message == LB_ADDSTRING ? " " + Str(reinterpret_cast<const char*>(lParam))
                             : message == LB_DELETESTRING ? " " + std::to_string(wParam)
                             : message == LB_FINDSTRINGEXACT ? " " + Str(reinterpret_cast<const char*>(lParam))
                                                             : std::string();
        const char* name = message == LB_ADDSTRING      ? "LB_ADDSTRING"
                           : message == LB_DELETESTRING ? "LB_DELETESTRING"
                           : message == LB_RESETCONTENT ? "LB_RESETCONTENT"
                                                        : "LB_FINDSTRINGEXACT";
        M().Log(std::string("SendMessageA ") + label + " " + name + detail);
    } else {
        M().Log("SendMessageA " + label + " " + std::to_string(message));
    }
    if (!window) return 0;
    w = Live(window, "SendMessageA");
    if (!w) return 0;

    switch (message) {
    case WM_SETICON:
        w->bigIcon = reinterpret_cast<HICON>(lParam);
        return 0;
    case LB_ADDSTRING: {
        std::string row = Str(reinterpret_cast<const char*>(lParam));
        auto at = w->rows.end();
        if (w->sorted)
            at = std::upper_bound(w->rows.begin(), w->rows.end(), row,
                                  [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
        at = w->rows.insert(at, row);
        return at - w->rows.begin();
    }
    case LB_DELETESTRING:
        if (wParam >= w->rows.size()) return LB_ERR;
        w->rows.erase(w->rows.begin() + static_cast<std::ptrdiff_t>(wParam));
        return static_cast<LRESULT>(w->rows.size());
    case LB_RESETCONTENT:
        w->rows.clear();
        return 0;
    case LB_GETCOUNT:
        return static_cast<LRESULT>(w->rows.size());
    case LB_FINDSTRINGEXACT: {
        std::string wanted = Lower(Str(reinterpret_cast<const char*>(lParam)));
        for (std::size_t i = 0; i < w->rows.size(); ++i)
            if (Lower(w->rows[i]) == wanted) return static_cast<LRESULT>(i);
        return LB_ERR;
    }
    case LB_GETTEXTLEN:
        return wParam < w->rows.size() ? static_cast<LRESULT>(w->rows[wParam].size()) : LB_ERR;
    case LB_GETTEXT:
        if (wParam >= w->rows.size()) return LB_ERR;
        std::strcpy(reinterpret_cast<char*>(lParam), w->rows[wParam].c_str());
        return static_cast<LRESULT>(w->rows[wParam].size());
    default:
        return 0;
    }
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    M().Log("MessageBoxA " + Str(text));
    M().messageBoxes.push_back({owner, Str(text), Str(caption), type});
    return IDOK;
}

HICON LoadIconA(HINSTANCE, int resourceId) {
    return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x1C00000 + resourceId));
}

void SetClassLongA(HWND window, int index, HICON icon) {
    M().Log("SetClassLongA " + Label(M().FindWindow(window)) + " " + std::to_string(index) + " " +
            std::to_string(reinterpret_cast<std::uintptr_t>(icon)));
}

HINSTANCE GetWindowLongA(HWND window, int index) {
    sim::Window* w = M().FindWindow(window);
    if (!w || index != GWL_HINSTANCE) return nullptr;
    while (w && !w->isDialog) w = M().FindWindow(w->parent);
    return w ? w->instance : nullptr;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    sim::Window* w = Live(window, "SetWindowPos");
    M().Log("SetWindowPos " + Label(w) + " " + std::to_string(reinterpret_cast<std::uintptr_t>(insertAfter)) + " " +
            std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " +
            std::to_string(flags));
    if (!w) return FALSE;
    int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (!(flags & SWP_NOSIZE)) width = cx, height = cy;
    w->rect = {x, y, x + width, y + height};
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    sim::Window* w = Live(window, "GetWindowRect");
    if (!w) return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL SystemParametersInfoA(UINT action, UINT, RECT* area, UINT) {
    if (action != SPI_GETWORKAREA) return FALSE;
    *area = M().workArea;
    return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE, int cursorId) {
    return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(cursorId));
}

HCURSOR SetCursor(HCURSOR cursor) {
    M().Log("SetCursor " + std::to_string(reinterpret_cast<std::uintptr_t>(cursor)));
    HCURSOR previous = M().currentCursor;
    M().currentCursor = cursor;
    return previous;
}

HWND GetShellWindow() {
    M().Log("GetShellWindow");
    return M().shellPid ? kShellWindow : nullptr;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    if (window != kShellWindow || !M().shellPid) return 0;
    *processId = M().shellPid;
    return 1;
}

}  // namespace win
