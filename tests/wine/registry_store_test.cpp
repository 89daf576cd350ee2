// registry_store_test: the settings' registry store on a real registry, for
// the screen tests under Wine (or a Windows test machine).
//
//   registry_store_test.exe
//
// Everything happens under HKEY_CURRENT_USER\SOFTWARE\Quorvik_Works. Keys
// whose names start with "kamishibai-test-" are scratch: removed before and
// after the run. The saver's own key kt5_scr2 is written by a save and left
// holding wait 7, effect 3, speed 4 and sound 0 (REG_DWORD), so that a check
// from outside (reg query) can see what a save leaves behind.
//
// One line per check, "PASS name" or "FAIL name: detail", UTF-8. Exit status:
// 0 when every check passed, 1 otherwise.
#include "platform/RegistryIni.h"
#include "settings/PreferenceFile.h"
#include "settings/PreferenceStore.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

const wchar_t kVendorKey[] = L"SOFTWARE\\Quorvik_Works";
const wchar_t kScratchPrefix[] = L"kamishibai-test-";

int failures = 0;

void Check(bool passed, const std::string& name, const std::string& detail = {}) {
  if (passed) {
    std::printf("PASS %s\n", name.c_str());
  } else {
    std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    ++failures;
  }
}

std::wstring Under(const std::wstring& name) { return std::wstring(kVendorKey) + L"\\" + name; }

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::vector<std::wstring> Subkeys(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

void DeleteScratchKeys() {
  for (const std::wstring& name : Subkeys(kVendorKey)) {
    if (name.rfind(kScratchPrefix, 0) == 0) RegDeleteTreeW(HKEY_CURRENT_USER, Under(name).c_str());
  }
  for (const std::wstring& name : Subkeys(kVendorKey)) {
    if (name.rfind(kScratchPrefix, 0) == 0) RegDeleteKeyW(HKEY_CURRENT_USER, Under(name).c_str());
  }
}

struct RawValue {
  bool found = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

RawValue ReadRaw(const std::wstring& path, const wchar_t* name) {
  RawValue value;
  BYTE buffer[512];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, buffer, &size) ==
      ERROR_SUCCESS) {
    value.found = true;
    value.bytes.assign(buffer, buffer + size);
  }
  return value;
}

bool SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  const bool set = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

bool IsDword(const RawValue& value, uint32_t expected) {
  uint32_t stored = 0;
  if (!value.found || value.type != REG_DWORD || value.bytes.size() != 4) return false;
  std::memcpy(&stored, value.bytes.data(), 4);
  return stored == expected;
}

bool IsText(const RawValue& value, const std::wstring& expected) {
  if (!value.found || value.type != REG_SZ) return false;
  std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.bytes.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text == expected;
}

std::string Describe(const RawValue& value) {
  if (!value.found) return "missing";
  std::string text = "type " + std::to_string(value.type) + ", bytes";
  for (BYTE byte : value.bytes) {
    text += ' ';
    text += std::to_string(byte);
  }
  return text;
}

std::string Describe(const SlideshowPreference& preference) {
  return std::to_string(preference.Word(PreferenceWord::SlideshowWait)) + "," +
         std::to_string(preference.Word(PreferenceWord::SlideshowEffect)) + "," +
         std::to_string(preference.Word(PreferenceWord::SlideshowEffectSpeed)) + "," +
         (preference.SlideshowSoundUse() ? "on" : "off");
}

SlideshowPreference Load(const PreferenceEnvironment& environment, std::string_view iniName) {
  SlideshowPreference preference;
  LoadPreference(environment, iniName, preference, nullptr);
  return preference;
}

std::unique_ptr<RegistryIni> OpenStore(std::string_view keyPath) {
  return SystemRegistryOpener()(RegistryRoot::CurrentUser, keyPath);
}

void MissingKeyGivesDefaultsAndStaysMissing(const PreferenceEnvironment& environment) {
  const std::unique_ptr<RegistryIni> store = OpenStore("SOFTWARE\\Quorvik_Works\\kamishibai-test-missing");
  Check(store != nullptr, "missing-key: opener gives a store");
  if (!store) return;
  const int32_t read = store->ReadInteger("Preference", "SlideshowWait", 5);
  Check(read == 5, "missing-key: read gives the default", std::to_string(read));
  Check(!KeyExists(Under(L"kamishibai-test-missing")), "missing-key: a read creates no key");

  const SlideshowPreference loaded = Load(environment, "kamishibai-test-unsaved.ini");
  Check(loaded == SlideshowPreference::From(5, 1, 2, true), "missing-key: load gives 5,1,2,on", Describe(loaded));
  Check(!KeyExists(Under(L"kamishibai-test-unsaved")), "missing-key: a load creates no key");
}

void SaveThenLoad(const PreferenceEnvironment& environment) {
  const std::wstring section = Under(L"kt5_scr2\\Preference");
  Check(SavePreference(environment, "kt5_scr2.ini", SlideshowPreference::From(7, 3, 4, false)), "save: kt5_scr2 saved");
  const struct {
    const wchar_t* name;
    uint32_t expected;
  } stored[] = {{L"SlideshowWait", 7}, {L"SlideshowEffect", 3}, {L"SlideshowEffectSpeed", 4}, {L"SlideshowSoundUse", 0}};
  for (const auto& value : stored) {
    const RawValue raw = ReadRaw(section, value.name);
    Check(IsDword(raw, value.expected), "save: " + Utf8Of(value.name) + " is REG_DWORD " + std::to_string(value.expected),
          Describe(raw));
  }
  const SlideshowPreference loaded = Load(environment, "kt5_scr2.ini");
  Check(loaded == SlideshowPreference::From(7, 3, 4, false), "save: load gives 7,3,4,off", Describe(loaded));

  // Words are sign-extended: -1 must come back as -1, not 65535.
  Check(SavePreference(environment, "kamishibai-test-negative.ini", SlideshowPreference::From(-1, -32768, 0, true)),
        "save: negative words saved");
  const RawValue wait = ReadRaw(Under(L"kamishibai-test-negative\\Preference"), L"SlideshowWait");
  Check(IsDword(wait, 0xFFFFFFFFu), "save: -1 is stored as 0xFFFFFFFF", Describe(wait));
  const SlideshowPreference negative = Load(environment, "kamishibai-test-negative.ini");
  Check(negative == SlideshowPreference::From(-1, -32768, 0, true), "save: negative words load back", Describe(negative));
}

void ValuesOfOtherKinds() {
  const std::wstring section = Under(L"kamishibai-test-kinds\\Preference");
  const std::unique_ptr<RegistryIni> store = OpenStore("SOFTWARE\\Quorvik_Works\\kamishibai-test-kinds");
  if (!store) {
    Check(false, "kinds: opener gives a store");
    return;
  }
  const uint64_t quadWord = 9;
  const BYTE binary[4] = {9, 0, 0, 0};
  const wchar_t unterminated[] = {L'4', L'2'};
  const struct {
    const char* name;
    DWORD type;
    const void* bytes;
    DWORD size;
    int32_t expected;  // read with default 77
  } cases[] = {
      {"text-12", REG_SZ, L"12", 6, 12},
      {"text-minus-3", REG_SZ, L"-3", 6, -3},
      {"text-plus-8", REG_SZ, L"+8", 6, 8},
      {"text-lowest", REG_SZ, L"-2147483648", 24, INT32_MIN},
      {"text-too-large", REG_SZ, L"2147483648", 22, 77},
      {"text-word", REG_SZ, L"abc", 8, 77},
      {"text-empty", REG_SZ, L"", 2, 77},
      {"text-leading-space", REG_SZ, L" 12", 8, 77},
      {"text-trailing-junk", REG_SZ, L"12x", 8, 77},
      {"text-hex", REG_SZ, L"0x10", 10, 77},
      {"text-unterminated", REG_SZ, unterminated, 4, 42},
      {"binary", REG_BINARY, binary, 4, 77},
      {"qword", REG_QWORD, &quadWord, 8, 77},
  };
  for (const auto& c : cases) {
    const std::wstring name(c.name, c.name + std::strlen(c.name));
    if (!SetRaw(section, name.c_str(), c.type, c.bytes, c.size)) {
      Check(false, std::string("kinds: ") + c.name + " set up");
      continue;
    }
    const int32_t read = store->ReadInteger("Preference", c.name, 77);
    Check(read == c.expected, std::string("kinds: ") + c.name + " reads " + std::to_string(c.expected),
          std::to_string(read));
  }

  // Text stays text when written; anything else becomes a number.
  try {
    store->WriteInteger("Preference", "text-12", -34);
    store->WriteInteger("Preference", "text-word", 5);
    store->WriteInteger("Preference", "binary", 6);
    const RawValue text = ReadRaw(section, L"text-12");
    Check(IsText(text, L"-34"), "kinds: text is rewritten as text", Describe(text));
    const RawValue word = ReadRaw(section, L"text-word");
    Check(IsText(word, L"5"), "kinds: junk text is rewritten as text", Describe(word));
    const RawValue binaryNow = ReadRaw(section, L"binary");
    Check(IsDword(binaryNow, 6), "kinds: binary is rewritten as REG_DWORD", Describe(binaryNow));
    Check(store->ReadInteger("Preference", "text-12", 77) == -34, "kinds: rewritten text reads back");
  } catch (const std::exception& error) {
    Check(false, "kinds: writes", error.what());
  }
}

void ShiftJisKeyPath(const PreferenceEnvironment& environment) {
  // "kamishibai-test-設定表.ini" in Shift-JIS; 表 is 0x95 0x5C, whose second
  // byte must not split the key path as a backslash would.
  const std::string iniName = "kamishibai-test-\x90\xDD\x92\xE8\x95\x5C.ini";
  const std::wstring keyName = L"kamishibai-test-\u8A2D\u5B9A\u8868";
  const std::vector<std::wstring> before = Subkeys(kVendorKey);
  Check(SavePreference(environment, iniName, SlideshowPreference::From(11, 2, 3, true)), "shift-jis: saved");
  const RawValue wait = ReadRaw(Under(keyName + L"\\Preference"), L"SlideshowWait");
  Check(IsDword(wait, 11), "shift-jis: value under the key named in Japanese", Describe(wait));
  const std::vector<std::wstring> after = Subkeys(kVendorKey);
  std::string added;
  for (const std::wstring& name : after) {
    bool old = false;
    for (const std::wstring& known : before) old = old || known == name;
    if (!old) added += (added.empty() ? "" : ", ") + Utf8Of(name);
  }
  Check(after.size() == before.size() + 1 && added == Utf8Of(keyName), "shift-jis: exactly one new key", added);
  const SlideshowPreference loaded = Load(environment, iniName);
  Check(loaded == SlideshowPreference::From(11, 2, 3, true), "shift-jis: load gives 11,2,3,on", Describe(loaded));

  // A name that is not Shift-JIS (a lead byte without its trail byte) opens
  // no store, so nothing is made under a garbled name.
  const std::string broken = "kamishibai-test-\x90";
  Check(!SavePreference(environment, broken, SlideshowPreference::From(1, 1, 1, true)), "shift-jis: broken name cannot save");
  Check(Subkeys(kVendorKey).size() == after.size(), "shift-jis: broken name makes no key");
}

void FailedWriteThrows(const PreferenceEnvironment& environment) {
  // A volatile key cannot have a lasting subkey: creating the section fails
  // the way a denied access would, with the system's own message.
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Under(L"kamishibai-test-volatile").c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    Check(false, "failed-write: volatile key set up");
    return;
  }
  RegCloseKey(key);
  const std::unique_ptr<RegistryIni> store = OpenStore("SOFTWARE\\Quorvik_Works\\kamishibai-test-volatile");
  try {
    store->WriteInteger("Preference", "SlideshowWait", 1);
    Check(false, "failed-write: write throws RegistryError", "no exception");
  } catch (const RegistryError& error) {
    const std::string text = error.what();
    std::printf("  message: %s\n", text.c_str());
    Check(text.find("kamishibai-test-volatile\\Preference") != std::string::npos && text.find(": ") != std::string::npos,
          "failed-write: write throws RegistryError naming the key and the system's message", text);
  } catch (const std::exception& error) {
    Check(false, "failed-write: write throws RegistryError", error.what());
  }
  Check(!SavePreference(environment, "kamishibai-test-volatile.ini", SlideshowPreference::From(1, 1, 1, true)),
        "failed-write: save returns false");
}

}  // namespace

int wmain() {
  DeleteScratchKeys();
  const PreferenceEnvironment environment = PreferenceEnvironment::OfThisProgram(PreferenceStoreKind::Registry);
  Check(static_cast<bool>(environment.openRegistry), "environment: the system registry is there");
  MissingKeyGivesDefaultsAndStaysMissing(environment);
  SaveThenLoad(environment);
  ValuesOfOtherKinds();
  ShiftJisKeyPath(environment);
  FailedWriteThrows(environment);
  DeleteScratchKeys();
  std::printf("%s: %d failed\n", failures == 0 ? "PASS" : "FAIL", failures);
  return failures == 0 ? 0 : 1;
}
