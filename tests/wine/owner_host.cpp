// owner_host: plays the part of the display settings that start a saver's
// configuration: a window in front that the saver's dialog must be modal over.
//
//   owner_host.exe OUT.txt SAVER [ARGUMENT...]
//
// Shows a visible top-level window of class KamishibaiOwnerHost, titled
// "Owner host", at 120,90 sized 640x480 (so that its centre is not the
// screen's), makes it the foreground window, then starts "SAVER ARGUMENT..."
// and pumps messages until the saver ends. Half a second later (time for
// the activation that the saver hands back to reach this window) it writes
// UTF-8 key=value lines to OUT.txt: the host's window number, whether it was
// the foreground window when the saver was started, the saver's exit code,
// and whether the host is enabled and the foreground window afterwards.
// The window then stays three more seconds before the host ends.
//
// While the saver runs, and in those three seconds, a script checks the host
// from outside (window_probe window HWND): it is the saver who must disable
// and enable it.
//
// Exit status: 0 when OUT.txt was written, 1 on a usage error or when the
// saver could not be started, 2 when OUT.txt could not be written.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kHostClass[] = L"KamishibaiOwnerHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void PumpFor(DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  for (;;) {
    Pump();
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(until - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
  }
}

// An argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

bool WriteReport(const wchar_t* path, const std::string& text) {
  FILE* file = _wfopen(path, L"wb");
  if (!file) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: owner_host.exe OUT.txt SAVER [ARGUMENT...]\n");
    return 1;
  }
  const wchar_t* out_path = argv[1];
  const wchar_t* saver = argv[2];
  std::string report;
  const auto add = [&report](const char* key, const std::string& value) { report += std::string(key) + "=" + value + "\n"; };

  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = HostProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  window_class.lpszClassName = kHostClass;
  RegisterClassExW(&window_class);
  HWND host = CreateWindowExW(0, kHostClass, L"Owner host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 90, 640, 480,
                              nullptr, nullptr, window_class.hInstance, nullptr);
  if (!host) {
    add("error", "CreateWindowExW failed: " + std::to_string(GetLastError()));
    return WriteReport(out_path, report) ? 1 : 2;
  }
  add("host_hwnd", std::to_string(reinterpret_cast<ULONG_PTR>(host)));
  UpdateWindow(host);
  SetForegroundWindow(host);
  // The X server maps and activates the window asynchronously; wait for it
  // (up to five seconds) so that the saver finds it in front.
  for (int i = 0; i < 100 && GetForegroundWindow() != host; ++i) {
    PumpFor(50);
    SetForegroundWindow(host);
  }
  PumpFor(200);
  add("foreground_at_start", GetForegroundWindow() == host ? "1" : "0");

  std::wstring command_line = Quoted(saver);
  for (int i = 3; i < argc; ++i) command_line += L" " + Quoted(argv[i]);
  std::vector<wchar_t> command_buffer(command_line.begin(), command_line.end());
  command_buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(saver, command_buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    add("error", "CreateProcessW failed: " + std::to_string(GetLastError()));
    DestroyWindow(host);
    return WriteReport(out_path, report) ? 1 : 2;
  }
  CloseHandle(process.hThread);
  // The host keeps answering messages while the saver runs: the saver
  // disables it and later activates it, and both go through this thread.
  for (;;) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) break;
    Pump();
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  add("saver_exit_code", std::to_string(exit_code));
  PumpFor(500);
  add("enabled_after", IsWindowEnabled(host) ? "1" : "0");
  add("foreground_after", GetForegroundWindow() == host ? "1" : "0");
  const bool written = WriteReport(out_path, report);
  PumpFor(3000);
  DestroyWindow(host);
  return written ? 0 : 2;
}
