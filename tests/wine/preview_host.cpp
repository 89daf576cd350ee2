// preview_host: plays the part of the display control panel's preview box.
//
//   preview_host.exe SAVER SECONDS OUT.txt [--post-input]
//
// Creates a visible top-level window, starts "SAVER /p <window number>" and
// pumps messages for SECONDS, then writes what it found to OUT.txt as UTF-8
// key=value lines: the first child window of the host (class, title, style,
// place relative to the host's client area, size), the host's own window and
// client sizes, and whether the saver was still running. It then destroys
// its window, as a closing control panel does, and reports whether the saver
// ended within a second (killing it if not).
//
// With --post-input the host also posts a key press, a click and a long
// mouse movement straight to the saver's window halfway through: input from
// the X server reaches that window only where the pointer and the focus
// happen to be, and the saver must be seen to ignore input for certain.
//
// Exit status: 0 when OUT.txt was written, 1 on a usage error or when the
// saver could not be started (OUT.txt then says why), 2 when OUT.txt could
// not be written.
#include "platform/win32/WideText.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kHostClass[] = L"KamishibaiPreviewHost";

// Keeps a report line on one line whatever a window title holds.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

class Report {
 public:
  void Add(const char* key, const std::string& value) { text_ += std::string(key) + "=" + OneLine(value) + "\n"; }
  void Add(const char* key, long long value) { Add(key, std::to_string(value)); }
  void AddHex(const char* key, unsigned long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08lx", value);
    Add(key, std::string(buffer));
  }
  bool WriteTo(const wchar_t* path) const {
    FILE* file = _wfopen(path, L"wb");
    if (!file) return false;
    bool ok = std::fwrite(text_.data(), 1, text_.size(), file) == text_.size();
    return std::fclose(file) == 0 && ok;
  }

 private:
  std::string text_;
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Pumps this thread's messages until the tick count reaches `until`.
void PumpUntil(DWORD until) {
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    DWORD now = GetTickCount();
    if (static_cast<LONG>(until - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
  }
}

std::wstring WindowClass(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

std::wstring WindowTitle(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

void PostInput(HWND target) {
  // Key down/up of "A", a left click in the middle, then a pointer movement
  // far beyond any full-screen threshold.
  PostMessageW(target, WM_KEYDOWN, 'A', 0x001E0001);
  PostMessageW(target, WM_CHAR, 'a', 0x001E0001);
  PostMessageW(target, WM_KEYUP, 'A', 0xC01E0001);
  PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  PostMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  PostMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(300, 220));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || argc > 5 || (argc == 5 && std::wcscmp(argv[4], L"--post-input") != 0)) {
    std::fprintf(stderr, "usage: preview_host.exe SAVER SECONDS OUT.txt [--post-input]\n");
    return 1;
  }
  const wchar_t* saver = argv[1];
  const double seconds = _wtof(argv[2]);
  const wchar_t* out_path = argv[3];
  const bool post_input = argc == 5;
  Report report;

  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = HostProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  window_class.lpszClassName = kHostClass;
  RegisterClassExW(&window_class);
  HWND host = CreateWindowExW(0, kHostClass, L"Preview host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                              100, 100, 320, 240, nullptr, nullptr, window_class.hInstance, nullptr);
  if (!host) {
    report.Add("error", "CreateWindowExW failed: " + std::to_string(GetLastError()));
    return report.WriteTo(out_path) ? 1 : 2;
  }
  UpdateWindow(host);
  const unsigned long long host_number = reinterpret_cast<ULONG_PTR>(host);
  report.Add("host_hwnd", static_cast<long long>(host_number));

  std::wstring command_line = L"\"" + std::wstring(saver) + L"\" /p " + std::to_wstring(host_number);
  std::vector<wchar_t> command_buffer(command_line.begin(), command_line.end());
  command_buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(saver, command_buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    report.Add("saver_started", 0);
    report.Add("error", "CreateProcessW failed: " + std::to_string(GetLastError()));
    DestroyWindow(host);
    return report.WriteTo(out_path) ? 1 : 2;
  }
  CloseHandle(process.hThread);
  report.Add("saver_started", 1);
  report.Add("saver_command", Utf8Of(command_line));
  report.Add("saver_pid", process.dwProcessId);

  const DWORD start = GetTickCount();
  const DWORD total_ms = seconds > 0 ? static_cast<DWORD>(seconds * 1000) : 0;
  const DWORD end = start + total_ms;
  long long child_seen_after_ms = -1;
  bool input_posted = false;
  // Wait in short slices so the moment the viewer appears is known and the
  // input can be sent once it exists.
  for (;;) {
    DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) break;
    PumpUntil(now + 50 < end ? now + 50 : end);
    HWND child = GetWindow(host, GW_CHILD);
    if (child && child_seen_after_ms < 0) child_seen_after_ms = static_cast<long long>(GetTickCount() - start);
    if (post_input && child && !input_posted && GetTickCount() - start >= total_ms / 2) {
      PostInput(child);
      input_posted = true;
    }
  }
  report.Add("input_posted", input_posted ? 1 : 0);

  HWND child = GetWindow(host, GW_CHILD);
  report.Add("child", child ? 1 : 0);
  report.Add("child_seen_after_ms", child_seen_after_ms);
  if (child) {
    DWORD owner_pid = 0;
    GetWindowThreadProcessId(child, &owner_pid);
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&rect), 2);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    report.Add("child_class", Utf8Of(WindowClass(child)));
    report.Add("child_title", Utf8Of(WindowTitle(child)));
    report.AddHex("child_style", static_cast<unsigned long>(style));
    report.AddHex("child_exstyle", static_cast<unsigned long>(GetWindowLongPtrW(child, GWL_EXSTYLE)));
    report.Add("child_ws_child", (style & WS_CHILD) ? 1 : 0);
    report.Add("child_visible", IsWindowVisible(child) ? 1 : 0);
    report.Add("child_owner_is_saver", owner_pid == process.dwProcessId ? 1 : 0);
    report.Add("child_left", rect.left);
    report.Add("child_top", rect.top);
    report.Add("child_width", rect.right - rect.left);
    report.Add("child_height", rect.bottom - rect.top);
    report.Add("child_has_sibling", GetWindow(child, GW_HWNDNEXT) ? 1 : 0);
  }
  RECT host_window;
  GetWindowRect(host, &host_window);
  RECT host_client;
  GetClientRect(host, &host_client);
  report.Add("host_window_width", host_window.right - host_window.left);
  report.Add("host_window_height", host_window.bottom - host_window.top);
  report.Add("host_client_width", host_client.right);
  report.Add("host_client_height", host_client.bottom);

  report.Add("saver_running_before_destroy", WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT ? 1 : 0);
  // Without a window manager Wine's DestroyWindow of a top-level window
  // first waits about two seconds for the X server to withdraw it, and only
  // then sends WM_DESTROY down to the saver's window; so the second the saver
  // has counts from the moment DestroyWindow returns, when it has had its
  // WM_DESTROY.
  const DWORD destroy_called_at = GetTickCount();
  DestroyWindow(host);
  const DWORD destroyed_at = GetTickCount();
  report.Add("destroy_window_ms", static_cast<long long>(destroyed_at - destroy_called_at));
  bool ended = false;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    DWORD waited = GetTickCount() - destroyed_at;
    if (waited >= 1000) break;
    // Pumping as well: the saver's window was our child, and what is left of
    // its destruction goes through messages between the two processes.
    MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000 - waited, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  report.Add("saver_ended_within_1s", ended ? 1 : 0);
  if (ended) {
    report.Add("saver_end_after_ms", static_cast<long long>(GetTickCount() - destroyed_at));
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    report.Add("saver_exit_code", exit_code);
    report.Add("saver_killed", 0);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
    report.Add("saver_killed", 1);
  }
  CloseHandle(process.hProcess);
  return report.WriteTo(out_path) ? 0 : 2;
}
