// The resources as the program ships them: the main dialog's template, the
// strings, the options menu, the icon, the version and the manifest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "messages.h"
#include "resource.h"
#include "resource_string.h"

namespace {

// Reads an extended dialog template (DLGTEMPLATEEX) from the resources.
class DialogTemplate {
public:
    struct Item {
        DWORD exStyle, style;
        short x, y, cx, cy;
        int id;
        std::string className;  // "#128" for an ordinal class
        std::string text;
    };

    explicit DialogTemplate(UINT id) {
        HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
        if (resource == nullptr) return;
        m_p = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, resource)));
        m_end = m_p + ::SizeofResource(nullptr, resource);
        if (Word() != 1 || Word() != 0xFFFF) return;  // version 1, extended template
        Dword();                                      // help id
        exStyle = Dword();
        style = Dword();
        const WORD count = Word();
        x = Short(), y = Short(), cx = Short(), cy = Short();
        SzOrOrd();  // menu
        SzOrOrd();  // class
        title = SzOrOrd();
        if (style & DS_SETFONT) {
            pointSize = Word();
            Word();  // weight
            Word();  // italic, charset
            face = SzOrOrd();
        }
        for (WORD i = 0; i < count && m_p < m_end; ++i) {
            Align();
            Item item{};
            Dword();  // help id
            item.exStyle = Dword();
            item.style = Dword();
            item.x = Short(), item.y = Short(), item.cx = Short(), item.cy = Short();
            item.id = static_cast<int>(Dword());
            item.className = SzOrOrd();
            item.text = SzOrOrd();
            m_p += Word();  // creation data
            items.push_back(item);
        }
        valid = m_p <= m_end;
    }

    bool valid = false;
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title, face;
    WORD pointSize = 0;
    std::vector<Item> items;

private:
    WORD Word() {
        WORD value = 0;
        if (m_p + 2 <= m_end) std::memcpy(&value, m_p, 2);
        m_p += 2;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    DWORD Dword() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    void Align() {
        while ((reinterpret_cast<uintptr_t>(m_p) & 3) != 0) ++m_p;
    }
    // A resource name or text: 0xFFFF and an ordinal, or a UTF-16 string.
    std::string SzOrOrd() {
        WORD first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text;
        for (; first != 0 && m_p <= m_end; first = Word()) text += static_cast<char>(first);
        return text;
    }

    const BYTE* m_p = nullptr;
    const BYTE* m_end = nullptr;
};

std::string ClassOf(const std::string& name) {
    // The resource compiler stores the standard classes as ordinals.
    if (name == "#128") return "button";
    if (name == "#129") return "edit";
    if (name == "#130") return "static";
    if (name == "#131") return "listbox";
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

TEST(Resources, MainDialogTemplateMatchesTheLayoutTable) {
    const DialogTemplate dialog(IDD_KIVREL_DIALOG);
    ASSERT_TRUE(dialog.valid);
    EXPECT_EQ(dialog.style,
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                 WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT));
    EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(dialog.title, "Kivrel");
    EXPECT_EQ(dialog.face, "MS Sans Serif");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.cx, 253);
    EXPECT_EQ(dialog.cy, 149);

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD hiddenList = WS_CHILD | WS_BORDER | LBS_NOINTEGRALHEIGHT;
    const DWORD label = child | WS_GROUP | SS_LEFT | SS_CENTERIMAGE;
    const DWORD field = child | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    struct Row {
        int id;
        const char* className;
        const char* text;
        short x, y, cx, cy;
        DWORD style;
    };
    const Row expected[] = {
        {IDC_FIND_MODULE, "button", "Find...", 210, 10, 40, 12, child | WS_TABSTOP | BS_PUSHBUTTON},
        {IDC_FIND_INITIAL_DIR, "button", "Find...", 210, 25, 40, 12, child | WS_TABSTOP},
        {IDOK, "button", "Scan", 210, 50, 40, 12, child | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {IDCANCEL, "button", "Exit", 210, 75, 40, 12, child | WS_TABSTOP | BS_PUSHBUTTON},
        {-1, "static", "Windows module", 5, 10, 60, 12, label},
        {IDC_MODULE, "edit", "", 70, 10, 135, 12, field},
        {-1, "static", "Initial directory", 5, 25, 60, 12, label},
        {IDC_INITIAL_DIR, "edit", "", 70, 25, 135, 12, field},
        {IDC_OPTIONS, "button", "Options...", 210, 125, 40, 12, child | WS_TABSTOP | BS_OWNERDRAW},
        {IDC_SEARCH_DIRECTORIES, "listbox", "", 210, 95, 40, 10, hiddenList},
        {IDC_REFERENCES, "listbox", "", 210, 110, 40, 10, hiddenList},
        {IDC_RESULTS, "listbox", "", 5, 45, 200, 100,
         child | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY |
             LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL},
    };
    ASSERT_EQ(dialog.items.size(), std::size(expected));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const auto& item = dialog.items[i];
        const Row& row = expected[i];
        SCOPED_TRACE(row.text[0] != '\0' ? row.text : std::to_string(row.id));
        EXPECT_EQ(item.id == 0xFFFF ? -1 : item.id, row.id);
        EXPECT_EQ(ClassOf(item.className), row.className);
        EXPECT_EQ(item.text, row.text);
        EXPECT_EQ(item.x, row.x);
        EXPECT_EQ(item.y, row.y);
        EXPECT_EQ(item.cx, row.cx);
        EXPECT_EQ(item.cy, row.cy);
        EXPECT_EQ(item.style, row.style) << std::hex << item.style << " vs " << row.style;
        EXPECT_EQ(item.exStyle, 0u);
    }
}

TEST(Resources, AboutDialogShowsIconProductVersionAndOk) {
    const DialogTemplate dialog(IDD_ABOUTBOX);
    ASSERT_TRUE(dialog.valid);
    bool icon = false, version = false, ok = false;
    for (const auto& item : dialog.items) {
        if (ClassOf(item.className) == "static" && (item.style & SS_TYPEMASK) == SS_ICON &&
            item.text == "#" + std::to_string(IDR_MAINFRAME)) {
            icon = true;
        }
        if (item.text.find("Kivrel") != std::string::npos &&
            item.text.find("1.3.0.1") != std::string::npos) {
            version = true;
        }
        if (item.id == IDOK && item.text == "OK") ok = true;
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(version);
    EXPECT_TRUE(ok);
}

TEST(Resources, StringTableHoldsEveryTextExactly) {
    const std::pair<UINT, const char*> strings[] = {
        {101, "&About..."},
        {102, "Main"},
        {103, "Window"},
        {104, "Input: Windows module (EXE,DLL etc.)"},
        {105, "Input: Initial directory"},
        {106, "Font"},
        {107, "Module referencies...\nyou may drag'n'drop them elsewhere"},
        {108,
         "Scan module referencies\nModule search order:\n1. The directory of the module (for EXE "
         "only)\n2. The Initial directory (if not empty)\n3. The Windows system directory\n4. The "
         "Windows directory\n5. The directories listed in the PATH"},
        {109, "Exit the application"},
        {110, "Find Windows module"},
        {111, "Find Initial directory"},
        {112, "MS Windows module (*.exe,*.dll)|*.exe;*.dll|All files (*.*)|*.*||"},
        {117, "*** INVALID NT SIGNATURE ***"},
        {118, "*** SCAN FAILED ***"},
        {119, "No referencies"},
        {120, "No Windows module specified"},
        {123, "*** NOT FOUND or INCORRECT ***"},
        {124, "Help"},
        {57344, "Kivrel"},
    };
    for (const auto& [id, text] : strings) EXPECT_EQ(LoadResString(id), text) << id;
    // The font chooser's caption number has no string, so the chooser keeps its own.
    std::string missing;
    EXPECT_FALSE(LoadResString(ID_OPTIONS_FONT, missing));
}

TEST(Resources, ScanMessagesOfTheCoreAreTheStringTableTexts) {
    for (int id :
         {kivrel::IDS_INVALID_NT_SIGNATURE, kivrel::IDS_SCAN_FAILED, kivrel::IDS_NO_REFERENCES,
          kivrel::IDS_NO_MODULE, kivrel::IDS_NOT_FOUND_HEADING}) {
        EXPECT_EQ(LoadResString(static_cast<UINT>(id)), kivrel::MessageText(id)) << id;
    }
}

TEST(Resources, OptionsMenuHasItsItemsInOrder) {
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_OPTIONS_MENU));
    ASSERT_NE(menu, nullptr);
    char title[64] = "";
    ::GetMenuStringA(menu, 0, title, sizeof(title), MF_BYPOSITION);
    EXPECT_STREQ(title, "Menu");
    HMENU popup = ::GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    const std::pair<UINT, const char*> items[] = {
        {ID_OPTIONS_FONT, "&Font..."},
        {0, ""},
        {ID_OPTIONS_HELPTIPS, "&Show helptips"},
        {ID_OPTIONS_CLEANUP, "&Cleanup before scan"},
        {0, ""},
        {IDM_ABOUTBOX, "&About..."},
    };
    ASSERT_EQ(::GetMenuItemCount(popup), static_cast<int>(std::size(items)));
    for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
        char text[64] = "";
        ::GetMenuStringA(popup, i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_EQ(::GetMenuItemID(popup, i), items[i].first) << i;
        EXPECT_STREQ(text, items[i].second) << i;
    }
    ::DestroyMenu(menu);
}

TEST(Resources, IconHasLargeAndSmallImages) {
    for (int size : {32, 16}) {
        HICON icon = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr),
                                                     MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                     size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bitmap{};
        ::GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

TEST(Resources, VersionNamesTheProduct) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(3, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 0));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(3, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 0));
    auto value = [&](const char* name) {
        char* text = nullptr;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
        return ::VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)
                   ? std::string(text)
                   : std::string("(none)");
    };
    EXPECT_EQ(value("FileDescription"), "Find Windows module referencies");
    EXPECT_EQ(value("ProductName"), "Kivrel");
    EXPECT_EQ(value("FileVersion"), "1.3.0.1");
    EXPECT_EQ(value("ProductVersion"), "1.3.0.1");
}

TEST(Resources, ManifestAsksForCommonControls6AndSystemDpiAwareness) {
    HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource)));
    const std::string manifest(text, ::SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

}  // namespace
