// CGenericObjectList on a list box of a parent window that records which
// notifications reach it after reflection; which drops it takes; real drags
// within it; and the results list's drags out of the main dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "drag_test_support.h"
#include "drop_effect.h"
#include "file_list.h"
#include "generic_object_list.h"
#include "help_tip_request.h"
#include "kivrel_dlg.h"
#include "line_record.h"
#include "object_list_drop_target.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

constexpr int kListId = 100, kPlainListId = 101;
const CLIPFORMAT kRecordFormat = CLIPFORMAT(::RegisterClipboardFormatA("CGenericObjectList"));

// Records the notifications left to it after reflection.
class CRecordingParent : public CWnd {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        const BOOL handled = CWnd::OnCommand(wParam, lParam);
        if (!handled) seen.push_back({LOWORD(wParam), HIWORD(wParam)});
        return handled;
    }
    std::vector<std::pair<int, int>> seen;  // control id, notification code
};

class CTestList : public CGenericObjectList {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
    DWORD Identity() const { return ListIdentity(); }
    WORD& Flags() { return m_wFlags; }
    void OnSelChange() override {
        ++selChanges;
        CGenericObjectList::OnSelChange();
    }
    void OnDblClk() override { ++doubleClicks; }
    void OnSetFocusNotify() override { ++focusGained; }
    int selChanges = 0, doubleClicks = 0, focusGained = 0;
};

// A topmost window whose drop target records one drag and asks for a move,
// fitted to what is allowed, as a file manager does.
class CRecordingTarget : public CTestUnknown<IDropTarget> {
public:
    explicit CRecordingTarget(const RECT& screen)
        : CTestUnknown(IID_IDropTarget), m_hWnd(TestWindow(WS_POPUP | WS_BORDER, screen)) {
        ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ::RegisterDragDrop(m_hWnd, this);
        ::UpdateWindow(m_hWnd);
    }
    ~CRecordingTarget() override {
        ::RevokeDragDrop(m_hWnd);
        ::DestroyWindow(m_hWnd);
    }
    STDMETHOD(DragEnter)(IDataObject*, DWORD, POINTL, DWORD* pdwEffect) override {
        m_nAllowedAtEnter = *pdwEffect;
        return DragOver(0, POINTL{}, pdwEffect);
    }
    STDMETHOD(DragOver)(DWORD, POINTL, DWORD* pdwEffect) override {
        *pdwEffect = FitDropEffect(DROPEFFECT_MOVE, m_nAllowedAtEnter);
        return S_OK;
    }
    STDMETHOD(DragLeave)() override { return S_OK; }
    STDMETHOD(Drop)(IDataObject* pData, DWORD, POINTL, DWORD* pdwEffect) override {
        ++drops;
        allowedAtDrop = *pdwEffect;
        IEnumFORMATETC* formats = nullptr;
        if (SUCCEEDED(pData->EnumFormatEtc(DATADIR_GET, &formats)) && formats != nullptr) {
            for (FORMATETC format; formats->Next(1, &format, nullptr) == S_OK;) {
                STGMEDIUM medium{};
                if (FAILED(pData->GetData(&format, &medium))) continue;
                if (medium.tymed == TYMED_HGLOBAL) {
                    data[format.cfFormat] =
                        std::string(static_cast<const char*>(::GlobalLock(medium.hGlobal)),
                                    ::GlobalSize(medium.hGlobal));
                    ::GlobalUnlock(medium.hGlobal);
                }
                ::ReleaseStgMedium(&medium);
            }
            formats->Release();
        }
        *pdwEffect = FitDropEffect(DROPEFFECT_MOVE, allowedAtDrop);
        return S_OK;
    }

    HWND m_hWnd;
    DWORD m_nAllowedAtEnter = 0, allowedAtDrop = 0;
    int drops = 0;
    std::map<CLIPFORMAT, std::string> data;  // every format listed, read at the drop
};

class ObjectList : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_parent.SubclassWindow(TestWindow(WS_OVERLAPPEDWINDOW, {300, 300, 760, 560})));
        const DWORD style = WS_CHILD | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                            LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
        ASSERT_TRUE(m_list.SubclassWindow(
            TestWindow(style, {10, 10, 210, 210}, m_parent.m_hWnd, kListId, "ListBox")));
        m_plain = TestWindow(style, {230, 10, 430, 210}, m_parent.m_hWnd, kPlainListId, "ListBox");
        ::SetForegroundWindow(m_parent.m_hWnd);
        PumpMessages(20);
    }
    void TearDown() override {
        m_parent.DestroyWindow();
        PumpMessages(10);
    }
    void Reset() {
        TearDown();
        SetUp();
    }
    void Fill(const std::string& texts) {
        for (size_t i = 0; i < texts.size(); ++i)
            m_list.AddLine(texts.substr(i, 1).c_str(), DWORD(100 + i));
    }
    void Send(HWND list, UINT message, WPARAM keys, int line) {
        const POINT at = LineCentre(list, line);
        ::SendMessageA(list, message, keys, MAKELPARAM(at.x, at.y));
    }
    std::vector<int> Selected() {
        std::vector<int> lines;
        for (int i = 0; i < m_list.GetCount(); ++i)
            if (m_list.GetSel(i) > 0) lines.push_back(i);
        return lines;
    }

    CRecordingParent m_parent;
    CTestList m_list;
    HWND m_plain = nullptr;
};

TEST_F(ObjectList, ExtentFitsTheWidestTabExpandedLineInItsFontAndNeverShrinks) {
    LOGFONTA logFont{};
    logFont.lfHeight = -40;  // large, so that measuring in another font would show
    lstrcpyA(logFont.lfFaceName, "Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&logFont));
    m_list.ApplyFont(&font);
    HDC dc = ::GetDC(m_list.m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, font.GetSafeHandle());
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    SIZE b{}, wide{};
    ::GetTextExtentPoint32A(dc, "B", 1, &b);
    ::GetTextExtentPoint32A(dc, "WWWWWWWWWW", 10, &wide);
    ::ReleaseDC(m_list.m_hWnd, (::SelectObject(dc, old), dc));
    m_list.SetHorizontalExtent(0);
    // A leading tab reaches the first default stop: eight average characters.
    const int tabbed = 8 * metrics.tmAveCharWidth + b.cx;
    m_list.AddLine("\tB", 1);
    EXPECT_EQ(m_list.GetHorizontalExtent(), tabbed);
    m_list.InsertLine(0, "WWWWWWWWWW", 2);
    m_list.DeleteLine(0);
    EXPECT_EQ(m_list.GetHorizontalExtent(), std::max<int>(wide.cx, tabbed));
    m_list.ApplyFont(nullptr);
}

TEST_F(ObjectList, ClicksSelectAndTheirNotificationsGoToItsHooksNotToTheParent) {
    Fill("012345");
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        Send(m_list.m_hWnd, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, 1);
    EXPECT_TRUE(m_list.selChanges >= 1 && m_list.doubleClicks == 1 && m_list.focusGained >= 1);
    // The right button selects as the left would, and starts no drag.
    m_list.selChanges = 0;
    m_list.Flags() = OLF_DRAGDROP | OLF_READONLY | OLF_TEXT;
    Send(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, 4);
    EXPECT_EQ(Selected(), (std::vector<int>{4}));
    EXPECT_EQ(m_list.GetCurSel(), 4);
    EXPECT_EQ(m_list.Flags(), OLF_DRAGDROP | OLF_READONLY | OLF_TEXT);
    EXPECT_NE(::GetCapture(), m_list.m_hWnd);
    EXPECT_EQ(m_list.selChanges, 1);
    Send(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, 2);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 4}));
    // The same clicks on a list without an object reach the parent.
    ::SendMessageA(m_plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("plain"));
    Send(m_plain, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    Send(m_plain, WM_LBUTTONUP, 0, 0);
    for (const auto& [id, code] : m_parent.seen) EXPECT_NE(id, kListId) << "code " << code;
    const std::pair<int, int> plainChange{kPlainListId, LBN_SELCHANGE};
    EXPECT_NE(std::find(m_parent.seen.begin(), m_parent.seen.end(), plainChange),
              m_parent.seen.end());

    // Help-tip requests too, asked directly or reflected from the parent; no
    // text without a tip id, for another code or for an id with no string.
    const std::string tip = "Module referencies...\nyou may drag'n'drop them elsewhere";
    // clang-format off
    const struct { UINT text; HWND to; UINT code; std::string answer; } asks[] = {
        {0, m_list.m_hWnd, HTN_NEEDTEXT, ""},
        {IDS_TIP_RESULTS, m_list.m_hWnd, HTN_NEEDTEXT, tip},
        {IDS_TIP_RESULTS, m_parent.m_hWnd, HTN_NEEDTEXT, tip},
        {IDS_TIP_RESULTS, m_list.m_hWnd, 9999, ""},
        {55555, m_list.m_hWnd, HTN_NEEDTEXT, ""},
    };
    // clang-format on
    for (const auto& ask : asks) {
        m_list.m_nTipTextId = ask.text;
        NMHELPTIP request{{m_list.m_hWnd, UINT_PTR(kListId), ask.code}, 0, 0, 0, ""};
        ::SendMessageA(ask.to, WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&request));
        EXPECT_EQ(request.szText, ask.answer) << ask.text;
    }
}

TEST_F(ObjectList, AcceptsWhatItsFlagsGroupAndProcessAllow) {
    EXPECT_FALSE(m_list.InitTransfer(OLF_REORDER | OLF_SHARE, "g"));
    EXPECT_EQ(m_list.Target(), nullptr);
    // Records of this list, of another, with the group in capitals, of another
    // group or process; text; a record cut short, streamed or unterminated.
    enum { kSelf, kOther, kCaps, kGroup, kPid, kText, kCut, kStream, kOpen };
    const WORD reorder = OLF_DRAGDROP | OLF_REORDER, share = OLF_DRAGDROP | OLF_SHARE;
    const WORD results = OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, ro = OLF_READONLY;
    const DWORD none = DROPEFFECT_NONE, copy = DROPEFFECT_COPY, move = DROPEFFECT_MOVE;
    // clang-format off
    const struct { WORD flags; int data; DWORD keys, allowed, effect; } cases[] = {
        {reorder, kSelf, 0, copy | move, move},
        {reorder, kSelf, MK_CONTROL, copy | move, copy},
        {reorder, kSelf, 0, copy, copy},  // only a copy allowed: a move becomes one
        {reorder | ro, kSelf, 0, copy | move, none},
        {reorder, kOther, 0, copy | move, none},
        {share, kOther, 0, copy | move, move},
        {share, kCaps, 0, copy | move, move},
        {share, kGroup, 0, copy | move, none},
        {share, kPid, 0, copy | move, none},
        {share, kSelf, 0, copy | move, none},
        {share, kText, 0, copy | move, none},
        {share | ro, kText, 0, copy | move, move},
        {share | ro, kSelf, 0, copy | move, none},
        {share, kCut, 0, copy | move, none},
        {share, kStream, 0, copy | move, none},
        {share, kOpen, 0, copy | move, move},
        {results, kOther, 0, copy | move, none},
        {results, kText, 0, copy | move, none},
    };
    // clang-format on
    const std::string group(15, 'g');  // as long as a record's group field holds
    const DWORD pid = ::GetCurrentProcessId();
    const auto record = [](DWORD pid, DWORD list, const std::string& group) {
        const auto r = kivrel::MakeLineRecord({pid, list, 7, "line", group}, kivrel::CLeadBytes());
        return std::string(reinterpret_cast<const char*>(&r), sizeof(r));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " data " << c.data);
        CTestList other;
        ASSERT_TRUE(other.SubclassWindow(m_plain));
        ASSERT_TRUE(m_list.InitTransfer(c.flags, group.c_str()));
        Fill("ab");
        const DWORD to = other.Identity();
        const std::string shared = record(pid, to, group);
        // No terminator in either text: the list takes 127 and 15 bytes of them.
        std::string open = shared;
        open.replace(8, 4, "\xEF\xBE\xAD\xDE").replace(12, 128, 128, 'y').replace(140, 16, 16, 'g');
        const std::string records[] = {record(pid, m_list.Identity(), group),
                                       shared,
                                       record(pid, to, std::string(15, 'G')),
                                       record(pid, to, std::string(14, 'g')),
                                       record(pid + 4, to, group),
                                       std::string("text", 5),
                                       shared.substr(0, shared.size() - 1),
                                       shared,
                                       open};
        // Below the lines.
        POINT at{5, 150};
        ::ClientToScreen(m_list.m_hWnd, &at);
        EXPECT_EQ(DropData(m_list.Target(), at, c.keys, c.allowed,
                           c.data == kText ? CLIPFORMAT(CF_TEXT) : kRecordFormat, records[c.data],
                           c.data == kStream ? TYMED_ISTREAM : TYMED_HGLOBAL)
                      .effect,
                  c.effect);
        // A read-only list takes the drop and keeps nothing.
        std::vector<Line> lines = {{"a", 100}, {"b", 101}};
        if (c.effect != none && !(c.flags & OLF_READONLY))
            lines.push_back(c.data == kOpen ? Line{std::string(127, 'y'), 0xDEADBEEF}
                                            : Line{"line", 7});
        EXPECT_EQ(ListLines(m_list.m_hWnd), lines);
        other.UnsubclassWindow();
        Reset();
    }
}

TEST_F(ObjectList, AMoveWithinTheListDeletesTheDraggedLineAndACopyKeepsIt) {
    // To the upper half of line `to`; -1: below the last line.
    // clang-format off
    const struct { int from, to; bool ctrl; std::string after; } cases[] = {
        {2, 0, false, "CABD"}, {0, -1, false, "BCDA"}, {1, 3, false, "ACBD"}, {1, -1, true, "ABCDB"},
    };
    // clang-format on
    for (const auto& c : cases) {
        ASSERT_TRUE(m_list.InitTransfer(OLF_DRAGDROP | OLF_REORDER, "g"));
        Fill("ABCD");
        m_list.SetSel(c.from, TRUE);
        CRect line(0, 189, 0, 0);
        if (c.to >= 0) m_list.GetItemRect(c.to, &line);
        POINT to{20, line.top + 1};
        ::ClientToScreen(m_list.m_hWnd, &to);
        DragWithMouse(m_list.m_hWnd, LineCentre(m_list.m_hWnd, c.from), to, c.ctrl);
        std::string after;
        for (const Line& line : ListLines(m_list.m_hWnd)) after += line.text;
        EXPECT_EQ(after, c.after) << c.from << " to " << c.to;
        Reset();
    }
}

// The results list of the main dialog after a scan of the fixture program:
// to another window and to the dialog's own field; a press without a drag.
class ResultsDrag : public DialogTest {};

TEST_F(ResultsDrag, OffersOnlyCopiesOfTheSelectedFoundModulesInListOrder) {
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDialog) {
        const HWND list = ::GetDlgItem(hDialog, IDC_RESULTS);
        const std::vector<Line> lines = ListLines(list);
        std::vector<int> found;
        int heading = -1;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].value != 0) found.push_back(int(i));
            if (lines[i].text == "*** NOT FOUND or INCORRECT ***") heading = int(i);
        }
        ASSERT_GE(found.size(), 2u);
        ASSERT_GE(heading, 0);
        const int first = found[0], last = found.back(), end = int(lines.size()) - 1;
        const auto select = [&](const std::vector<int>& selected, int caret) {
            ::SendMessageA(list, LB_SETSEL, FALSE, -1);
            for (int line : selected) ::SendMessageA(list, LB_SETSEL, TRUE, line);
            ::SendMessageA(list, LB_SETCARETINDEX, caret, FALSE);
        };
        // The press lands on the last line selected; the record holds the
        // caret line if it is selected, else the first selected line.
        // clang-format off
        const struct { std::vector<int> selected; int caret; std::vector<int> files; int record; } cases[] = {
            {{first, heading, last}, last, {first, last}, last},
            {{first, last}, heading, {first, last}, first},
            {{heading, end}, heading, {}, heading},
        };
        // clang-format on
        for (const auto& c : cases) {
            select(c.selected, c.caret);
            CRecordingTarget got(RECT{0, 0, 200, 150});
            DragWithMouse(list, LineCentre(list, c.selected.back()), CentreOf(got.m_hWnd));
            ASSERT_EQ(got.drops, 1);
            EXPECT_EQ(got.allowedAtDrop, DWORD(DROPEFFECT_COPY));
            std::vector<std::string> names;
            for (int line : c.files) names.push_back(lines[line].text);
            const auto expected = kivrel::BuildFileList(names);
            const auto files = got.data.find(CF_HDROP);
            EXPECT_EQ(files == got.data.end() ? "" : files->second,
                      names.empty() ? "" : std::string(expected.begin(), expected.end()));
            ASSERT_EQ(got.data.count(kRecordFormat), 1u);
            const std::string& bytes = got.data.at(kRecordFormat);
            const auto record = kivrel::ReadLineRecord(bytes.data(), bytes.size());
            ASSERT_TRUE(record);
            EXPECT_EQ(record->text, lines[c.record].text.substr(0, 127));
            EXPECT_EQ(record->group, "windowsmodule");
            EXPECT_EQ(got.data.count(CF_TEXT), 1u);
            // The selection survived the press, and every line stayed.
            for (int line : c.selected) EXPECT_GT(::SendMessageA(list, LB_GETSEL, line, 0), 0);
            EXPECT_EQ(ListLines(list), lines);
        }
        // Into a field, which takes files too, as its description.
        for (int id : {IDC_MODULE, IDC_INITIAL_DIR})
            EXPECT_NE(
                ::GetWindowLongPtrA(::GetDlgItem(hDialog, id), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
        const HWND field = ::GetDlgItem(hDialog, IDC_INITIAL_DIR);
        select({first}, first);
        const CRect box = WindowRect(field);
        DragWithMouse(list, LineCentre(list, first),
                      POINT{box.left + 20, (box.top + box.bottom) / 2});
        char prefix[32];
        std::snprintf(prefix, sizeof(prefix), "%#08lx,  ",
                      static_cast<unsigned long>(lines[first].value));
        EXPECT_EQ(WindowText(field), prefix + lines[first].text);
        EXPECT_EQ(ListLines(list), lines);
        // A press on a line of a multi-selection waits for the drag; without
        // one it is an ordinary click.
        select({first, last}, last);
        PressWithMouse(list, LineCentre(list, last));
        EXPECT_EQ(::SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
        EXPECT_GT(::SendMessageA(list, LB_GETSEL, last, 0), 0);
    });
}

}  // namespace
}  // namespace kivrel_test
