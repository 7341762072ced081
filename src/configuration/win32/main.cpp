// Configuration on Windows: the form as a dialog of the system's own controls, which NVDA,
// JAWS and Narrator read without help. What it checks, says and writes comes from
// profile_form.h, as in the Qt form.

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/data_folder.h"
#include "profile_form.h"
#include "resource.h"

namespace {

namespace fs = std::filesystem;
namespace profile = configuration::profile;

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }
std::u16string shared(std::wstring_view text) { return {text.begin(), text.end()}; }

// Exceptions carry UTF-8; older messages from the C library may be in the code page.
std::wstring wideFromNarrow(const std::string& text) {
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (n <= 0 && !text.empty()) continue;
        std::wstring out(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
        return out;
    }
    return L"?";
}

std::u16string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"error " + std::to_wstring(code);
    if (buffer) LocalFree(buffer);
    // The system's texts end in a full stop and a line break; the sentence they go into has its own.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.' || text.back() == L' '))
        text.pop_back();
    return shared(text);
}

// The whole file goes to a temporary file beside it that reaches the disk before it replaces
// the old one, so a crash or a power cut leaves either the old profile or the new one.
bool writeWhole(const fs::path& file, std::string_view bytes, std::u16string& reason) {
    fs::path temporary = file;
    temporary += L".tmp" + std::to_wstring(GetCurrentProcessId());
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = systemMessage(GetLastError());
        return false;
    }
    DWORD failure = ERROR_SUCCESS;
    std::size_t written = 0;
    while (failure == ERROR_SUCCESS && written < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(handle, bytes.data() + written, static_cast<DWORD>(bytes.size() - written), &n, nullptr))
            failure = GetLastError();
        written += n;
    }
    if (failure == ERROR_SUCCESS && !FlushFileBuffers(handle)) failure = GetLastError();
    if (!CloseHandle(handle) && failure == ERROR_SUCCESS) failure = GetLastError();
    if (failure == ERROR_SUCCESS &&
        !MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failure = GetLastError();
    if (failure == ERROR_SUCCESS) return true;
    DeleteFileW(temporary.c_str());
    reason = systemMessage(failure);
    return false;
}

void show(HWND owner, const profile::Notice& notice) {
    const UINT icon = notice.icon == profile::Icon::critical ? MB_ICONERROR : 0;
    MessageBoxW(owner, wide(notice.text).c_str(), wide(notice.title).c_str(), MB_OK | icon);
}

std::u16string textOf(HWND dialog, int control) {
    HWND box = GetDlgItem(dialog, control);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
    return shared(text);
}

void moveFocus(HWND dialog, int control) {
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, control)), TRUE);
}

struct Form {
    fs::path dataFolder;
};

void cmdSaveClick(HWND dialog, const Form& form) {
    const auto country = SendDlgItemMessageW(dialog, IDC_CBOCOUNTRY, CB_GETCURSEL, 0, 0);
    const profile::Entries entries{textOf(dialog, IDC_TXT1), textOf(dialog, IDC_TXT2), textOf(dialog, IDC_TXT3),
                                   country == CB_ERR ? -1 : static_cast<int>(country)};
    const auto result = profile::save(entries, shared(form.dataFolder.wstring()),
                                      [&form](std::string_view bytes, std::u16string& reason) {
                                          return writeWhole(form.dataFolder / L"config.dat", bytes, reason);
                                      });
    show(dialog, result.notice);
    switch (result.outcome) {
    case profile::SaveResult::Outcome::refused: {
        static constexpr int controls[] = {IDC_TXT1, IDC_TXT2, IDC_TXT3, IDC_CBOCOUNTRY};
        moveFocus(dialog, controls[static_cast<int>(result.focus)]);
        return;
    }
    case profile::SaveResult::Outcome::notWritten:
        return;
    case profile::SaveResult::Outcome::saved:
        EndDialog(dialog, 0);
        return;
    }
}

INT_PTR CALLBACK frmconfigProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        for (std::u16string_view entry : profile::countryList())
            SendDlgItemMessageW(dialog, IDC_CBOCOUNTRY, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(wide(entry).c_str()));
        SendDlgItemMessageW(dialog, IDC_CBOCOUNTRY, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetFocus(GetDlgItem(dialog, IDC_TXT1));
        // Started from the game or from the Start menu, the form comes to the front with the keyboard.
        SetForegroundWindow(dialog);
        return FALSE;
    }
    case WM_COMMAND: {
        const auto* form = reinterpret_cast<const Form*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (LOWORD(wParam)) {
        case IDC_CMDSAVE:
            if (HIWORD(wParam) == BN_CLICKED) cmdSaveClick(dialog, *form);
            return TRUE;
        case IDC_CMDEXIT:
            if (HIWORD(wParam) == BN_CLICKED) {
                show(dialog, profile::notSaved());
                EndDialog(dialog, 0);
            }
            return TRUE;
        case IDCANCEL:  // the close box and Escape leave silently
            EndDialog(dialog, 0);
            return TRUE;
        case IDOK:  // Return in a text box: no button is pressed by it, as in the Qt form
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

fs::path programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return fs::path(path).parent_path();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Form form;
    // config.dat goes to the player's data folder, where the game looks for it; the folder is
    // made ready exactly as the game does, whichever of the two starts first.
    try {
        form.dataFolder = zorvan::defaultDataFolder();
        zorvan::prepareDataFolder(programFolder(), form.dataFolder);
    } catch (const std::exception& e) {
        MessageBoxW(nullptr, wideFromNarrow(e.what()).c_str(), L"Configuration", MB_OK | MB_ICONERROR);
        return 1;
    }
    show(nullptr, profile::welcome());
    const INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FRMCONFIG), nullptr, frmconfigProc, reinterpret_cast<LPARAM>(&form));
    return result == -1 ? 1 : 0;
}
