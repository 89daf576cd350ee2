// window_probe: reports, from outside, the windows that other programs show,
// so that a script can check what a user would see on the screen.
//
//   window_probe.exe list [--all]            every visible (or every) top-level window, one per line
//   window_probe.exe wait CLASS MS           waits until a visible top-level window of CLASS exists
//   window_probe.exe wait-gone CLASS MS      waits until no visible top-level window of CLASS exists
//   window_probe.exe dialogs                 every visible dialog (#32770): caption and texts
//   window_probe.exe dismiss CAPTION         presses OK on every visible dialog with that caption
//   window_probe.exe children HWND           the child windows of one window
//   window_probe.exe window HWND             one window, with its client area, enabled state, owner
//                                            and whether it is the foreground window
//   window_probe.exe controls HWND           a dialog's controls as a user sees them (see Controls)
//   window_probe.exe end-process HWND        ends the process that shows a window (a test's leftover)
//   window_probe.exe cursor                  the pointer position as Windows reports it
//   window_probe.exe wave-error-text CODE    the system's text for a waveOut error code
//   window_probe.exe ui-language             the user's UI language as the system reports it
//                                            (LANGID, hex) and the language the saver takes from it
//
// Lines are UTF-8, fields separated by tabs as key=value, always in the same
// order, so that a shell can pick one with grep and cut. A rect is
// left,top,right,bottom in screen coordinates (but for the client rect of
// controls). Window numbers are decimal.
//
// Exit status: 0 on success; 1 when a wait timed out, dismiss found no dialog,
// a window number is not a window or a process could not be ended; 2 on a
// usage error.
#include "platform/UserLanguage.h"
#include "platform/win32/WideText.h"

#include <windows.h>
#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring ClassOf(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

// GetWindowTextW would not read another process's control text on Windows
// when the control is busy; WM_GETTEXT always asks the owner.
std::wstring TextOf(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

unsigned long long Number(HWND window) { return reinterpret_cast<ULONG_PTR>(window); }

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Hex(unsigned long value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lx", value);
  return buffer;
}

std::string Describe(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const unsigned long style = static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE));
  const unsigned long exstyle = static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  return "hwnd=" + std::to_string(Number(window)) + "\tpid=" + std::to_string(pid) + "\tclass=" + Utf8Of(ClassOf(window)) +
         "\ttitle=" + Utf8Of(TextOf(window)) + "\trect=" + std::to_string(rect.left) + "," + std::to_string(rect.top) +
         "," + std::to_string(rect.right) + "," + std::to_string(rect.bottom) +
         "\tsize=" + std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
         "\ttopmost=" + ((exstyle & WS_EX_TOPMOST) ? "1" : "0") + "\tvisible=" + (IsWindowVisible(window) ? "1" : "0") +
         "\tstyle=" + Hex(style) + "\texstyle=" + Hex(exstyle);
}

std::vector<HWND> TopLevelWindows(bool visible_only) {
  struct Collect {
    bool visible_only;
    std::vector<HWND> windows;
  } collect{visible_only, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* into = reinterpret_cast<Collect*>(param);
        if (!into->visible_only || IsWindowVisible(window)) into->windows.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&collect));
  return collect.windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

std::vector<HWND> VisibleOfClass(const std::wstring& class_name) {
  std::vector<HWND> found;
  for (HWND window : TopLevelWindows(true)) {
    if (ClassOf(window) == class_name) found.push_back(window);
  }
  return found;
}

int List(bool visible_only) {
  for (HWND window : TopLevelWindows(visible_only)) Print(Describe(window));
  return 0;
}

int Wait(const std::wstring& class_name, DWORD timeout_ms, bool until_gone) {
  const DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> found = VisibleOfClass(class_name);
    if (!until_gone && !found.empty()) {
      for (HWND window : found) Print(Describe(window) + "\tafter_ms=" + std::to_string(GetTickCount() - start));
      return 0;
    }
    if (until_gone && found.empty()) {
      Print("gone_after_ms=" + std::to_string(GetTickCount() - start));
      return 0;
    }
    if (GetTickCount() - start >= timeout_ms) {
      Print(until_gone ? "still there" : "not found");
      return 1;
    }
    Sleep(50);
  }
}

// A message box is a #32770 dialog whose text is a Static child; its icon is
// another Static without text, and the buttons are Button children.
int Dialogs() {
  for (HWND dialog : VisibleOfClass(L"#32770")) {
    std::string texts;
    std::string buttons;
    for (HWND child : ChildWindows(dialog)) {
      const std::wstring class_name = ClassOf(child);
      const std::string text = Utf8Of(TextOf(child));
      if (text.empty()) continue;
      std::string& into = _wcsicmp(class_name.c_str(), L"Button") == 0 ? buttons : texts;
      into += (into.empty() ? "" : " | ") + text;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    Print("hwnd=" + std::to_string(Number(dialog)) + "\tpid=" + std::to_string(pid) +
          "\tcaption=" + Utf8Of(TextOf(dialog)) + "\ttext=" + texts + "\tbuttons=" + buttons);
  }
  return 0;
}

int Dismiss(const std::wstring& caption) {
  int pressed = 0;
  for (HWND dialog : VisibleOfClass(L"#32770")) {
    if (TextOf(dialog) != caption) continue;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ++pressed;
  }
  Print("dismissed=" + std::to_string(pressed));
  return pressed > 0 ? 0 : 1;
}

int Children(HWND parent) {
  if (!IsWindow(parent)) {
    Print("not a window");
    return 1;
  }
  for (HWND child : ChildWindows(parent)) Print(Describe(child));
  return 0;
}

HWND WindowOfArgument(const wchar_t* argument) {
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(argument, nullptr, 10)));
}

std::string RectText(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom);
}

// The window that has the keyboard focus in the thread that owns `window`:
// GetFocus only knows the caller's own thread.
HWND FocusOfThreadOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

int Window(HWND window) {
  if (!IsWindow(window)) {
    Print("not a window");
    return 1;
  }
  RECT client = {};
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  Print(Describe(window) + "\tclient=" + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
        "\tclient_origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y) +
        "\tenabled=" + (IsWindowEnabled(window) ? "1" : "0") +
        "\towner=" + std::to_string(Number(GetWindow(window, GW_OWNER))) +
        "\tforeground=" + (GetForegroundWindow() == window ? "1" : "0"));
  return 0;
}

// One line per child of a dialog: class, control id, text, place relative
// to the dialog's client area (client=) and on the screen (rect=), shown and
// enabled state, whether it has the keyboard focus; then for a combo box its
// item count, selection (-1 for none) and items separated by "|", for a
// button its check state (BM_GETCHECK). A combo box's place is that of its
// closed field.
int Controls(HWND dialog) {
  if (!IsWindow(dialog)) {
    Print("not a window");
    return 1;
  }
  const HWND focus = FocusOfThreadOf(dialog);
  for (HWND child : ChildWindows(dialog)) {
    if (GetParent(child) != dialog) continue;  // a combo box's own parts
    RECT screen = {};
    GetWindowRect(child, &screen);
    RECT client = screen;
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&client), 2);
    const std::wstring class_name = ClassOf(child);
    std::string line = "hwnd=" + std::to_string(Number(child)) + "\tid=" + std::to_string(GetDlgCtrlID(child)) +
                       "\tclass=" + Utf8Of(class_name) + "\ttext=" + Utf8Of(TextOf(child)) +
                       "\tclient=" + RectText(client) + "\trect=" + RectText(screen) +
                       "\tvisible=" + (IsWindowVisible(child) ? "1" : "0") +
                       "\tenabled=" + (IsWindowEnabled(child) ? "1" : "0") + "\tfocus=" + (child == focus ? "1" : "0") +
                       "\tstyle=" + Hex(static_cast<unsigned long>(GetWindowLongPtrW(child, GWL_STYLE)));
    if (_wcsicmp(class_name.c_str(), L"ComboBox") == 0) {
      const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
      std::wstring items;
      for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring item(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        const LRESULT copied = SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
        item.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        items += (i == 0 ? L"" : L"|") + item;
      }
      line += "\tcount=" + std::to_string(count) +
              "\tselection=" + std::to_string(SendMessageW(child, CB_GETCURSEL, 0, 0)) +
              "\tdropped=" + (SendMessageW(child, CB_GETDROPPEDSTATE, 0, 0) ? "1" : "0") + "\titems=" + Utf8Of(items);
    } else if (_wcsicmp(class_name.c_str(), L"Button") == 0) {
      line += "\tcheck=" + std::to_string(SendMessageW(child, BM_GETCHECK, 0, 0));
    }
    Print(line);
  }
  return 0;
}

// A saver that a helper started is not a process the script knows by its
// number; its window is what is left of it on the screen.
int EndProcess(HWND window) {
  DWORD pid = 0;
  if (!IsWindow(window) || !GetWindowThreadProcessId(window, &pid)) {
    Print("not a window");
    return 1;
  }
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  const bool ended = process && TerminateProcess(process, 1) && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
  if (process) CloseHandle(process);
  Print("pid=" + std::to_string(pid) + "\tended=" + (ended ? "1" : "0"));
  return ended ? 0 : 1;
}

int Cursor() {
  POINT point = {};
  GetCursorPos(&point);
  Print("x=" + std::to_string(point.x) + "\ty=" + std::to_string(point.y));
  return 0;
}

int WaveErrorText(UINT code) {
  wchar_t text[MAXERRORLENGTH] = {};
  MMRESULT result = waveOutGetErrorTextW(code, text, MAXERRORLENGTH);
  Print("result=" + std::to_string(result) + "\ttext=" + Utf8Of(text));
  return result == MMSYSERR_NOERROR ? 0 : 1;
}

int UiLanguage() {
  char id[8] = {};
  std::snprintf(id, sizeof id, "%04x", static_cast<unsigned>(GetUserDefaultUILanguage()));
  Print(std::string("langid=") + id +
        "\tlanguage=" + (CurrentUserLanguage() == UserLanguage::Japanese ? "japanese" : "english"));
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: window_probe.exe list [--all] | wait CLASS MS | wait-gone CLASS MS | dialogs |\n"
               "       dismiss CAPTION | children HWND | window HWND | controls HWND | end-process HWND |\n"
               "       cursor | wave-error-text CODE | ui-language\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Binary, so that the script reads "\n" lines and the UTF-8 bytes as written.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  if (command == L"list" && argc == 2) return List(true);
  if (command == L"list" && argc == 3 && std::wcscmp(argv[2], L"--all") == 0) return List(false);
  if ((command == L"wait" || command == L"wait-gone") && argc == 4) {
    return Wait(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)), command == L"wait-gone");
  }
  if (command == L"dialogs" && argc == 2) return Dialogs();
  if (command == L"dismiss" && argc == 3) return Dismiss(argv[2]);
  if (command == L"children" && argc == 3) {
    return Children(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(argv[2], nullptr, 10))));
  }
  if (command == L"window" && argc == 3) return Window(WindowOfArgument(argv[2]));
  if (command == L"controls" && argc == 3) return Controls(WindowOfArgument(argv[2]));
  if (command == L"end-process" && argc == 3) return EndProcess(WindowOfArgument(argv[2]));
  if (command == L"cursor" && argc == 2) return Cursor();
  if (command == L"ui-language" && argc == 2) return UiLanguage();
  if (command == L"wave-error-text" && argc == 3) return WaveErrorText(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 10)));
  return Usage();
}
