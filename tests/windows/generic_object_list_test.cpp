// CGenericObjectList on a list box of a parent window that records which
// notifications reach it after reflection.
#include "generic_object_list.h"

#include <gtest/gtest.h>

#include "help_tip_request.h"
#include "resource.h"
#include "resource_string.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

constexpr int kListId = 100;
constexpr int kPlainListId = 101;

// A top-level window whose object records the list notifications that are
// left to it after the framework has reflected them to their senders.
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
    void OnSelChange() override {
        ++selChanges;
        CGenericObjectList::OnSelChange();
    }
    void OnDblClk() override { ++doubleClicks; }
    void OnSetFocusNotify() override { ++focusGained; }
    WORD& Flags() { return m_wFlags; }
    int selChanges = 0;
    int doubleClicks = 0;
    int focusGained = 0;
};

class GenericObjectList : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KivrelTestParent";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        ::RegisterClassA(&windowClass);
        HWND parent =
            ::CreateWindowExA(0, "KivrelTestParent", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                              50, 400, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_TRUE(m_parent.SubclassWindow(parent));
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                            LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
        HWND list =
            ::CreateWindowExA(0, "ListBox", "", style, 10, 10, 200, 100, parent,
                              reinterpret_cast<HMENU>(kListId), windowClass.hInstance, nullptr);
        ASSERT_TRUE(m_list.SubclassWindow(list));
        m_plain = ::CreateWindowExA(0, "ListBox", "", style, 220, 10, 100, 100, parent,
                                    reinterpret_cast<HMENU>(kPlainListId), windowClass.hInstance,
                                    nullptr);
        ::SetForegroundWindow(parent);
        PumpMessages(20);
    }
    void TearDown() override {
        m_parent.DestroyWindow();
        PumpMessages(10);
    }

    void Fill(int count) {
        for (int i = 0; i < count; ++i) {
            m_list.AddLine(("line " + std::to_string(i)).c_str(), 100 + i);
        }
    }
    std::vector<int> Selected() {
        std::vector<int> lines;
        for (int i = 0; i < m_list.GetCount(); ++i) {
            if (m_list.GetSel(i) > 0) lines.push_back(i);
        }
        return lines;
    }
    LPARAM PointOfLine(int index) {
        CRect rect;
        m_list.GetItemRect(index, &rect);
        return MAKELPARAM(rect.left + 5, (rect.top + rect.bottom) / 2);
    }
    std::string AskTip(HWND to, HWND from, UINT code = HTN_NEEDTEXT) {
        NMHELPTIP request{};
        request.hdr = NMHDR{from, static_cast<UINT_PTR>(::GetDlgCtrlID(from)), code};
        ::SendMessageA(to, WM_NOTIFY, request.hdr.idFrom, reinterpret_cast<LPARAM>(&request));
        return request.szText;
    }

    CRecordingParent m_parent;
    CTestList m_list;
    HWND m_plain = nullptr;
};

TEST_F(GenericObjectList, LinesCarryTheirValues) {
    EXPECT_EQ(m_list.AddLine("first", 7), 0);
    EXPECT_EQ(m_list.AddLine("second", 0), 1);
    EXPECT_EQ(m_list.InsertLine(1, "between", 0xFFFFFFFF), 1);
    EXPECT_EQ(m_list.InsertLine(-1, "last", 9), 3);
    EXPECT_EQ(
        ListLines(m_list.m_hWnd),
        (std::vector<Line>{{"first", 7}, {"between", 0xFFFFFFFF}, {"second", 0}, {"last", 9}}));
    EXPECT_EQ(m_list.DeleteLine(1), 3);
    EXPECT_EQ(m_list.DeleteLine(10), LB_ERR);
    EXPECT_EQ(m_list.InsertLine(10, "nowhere", 5), LB_ERR);
    EXPECT_EQ(m_list.GetCount(), 3);
    EXPECT_TRUE(m_list.IsKindOf(RUNTIME_CLASS(CListBox)));
    EXPECT_STREQ(m_list.GetRuntimeClass()->m_lpszClassName, "CGenericObjectList");
}

TEST_F(GenericObjectList, ExtentGrowsToTheTabExpandedWidthAndNeverShrinks) {
    // A large font, so that measuring in the wrong font would show.
    LOGFONTA logFont{};
    logFont.lfHeight = -40;
    lstrcpyA(logFont.lfFaceName, "Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&logFont));
    m_list.ApplyFont(&font);
    EXPECT_EQ(m_list.GetFont(), font.GetSafeHandle());

    HDC dc = ::GetDC(m_list.m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, font.GetSafeHandle());
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    SIZE b{};
    ::GetTextExtentPoint32A(dc, "B", 1, &b);
    SIZE wide{};
    ::GetTextExtentPoint32A(dc, "WWWWWWWWWW", 10, &wide);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_list.m_hWnd, dc);

    m_list.SetHorizontalExtent(0);
    m_list.AddLine("\tB", 1);
    // A leading tab reaches the first default stop: eight average characters.
    EXPECT_EQ(m_list.GetHorizontalExtent(), 8 * metrics.tmAveCharWidth + b.cx);

    m_list.AddLine("WWWWWWWWWW", 2);
    EXPECT_EQ(m_list.GetHorizontalExtent(),
              std::max<int>(wide.cx, 8 * metrics.tmAveCharWidth + b.cx));
    const int widest = m_list.GetHorizontalExtent();
    m_list.AddLine("i", 3);
    m_list.DeleteLine(1);
    EXPECT_EQ(m_list.GetHorizontalExtent(), widest);
    m_list.ApplyFont(nullptr);
}

TEST_F(GenericObjectList, SavingTheSelectionKeepsOldEntriesFirstAndReportsChanges) {
    Fill(6);
    std::list<DWORD> values;
    EXPECT_FALSE(m_list.SyncSelection(values, TRUE));  // nothing selected, nothing kept

    values = {999};
    EXPECT_TRUE(m_list.SyncSelection(values, TRUE));
    EXPECT_TRUE(values.empty());

    m_list.SetSel(1);
    m_list.SetSel(3);
    m_list.SetSel(4);
    values = {999, 104, 777};
    EXPECT_TRUE(m_list.SyncSelection(values, TRUE));
    EXPECT_EQ(values, (std::list<DWORD>{104, 101, 103}));
    EXPECT_FALSE(m_list.SyncSelection(values, TRUE));

    m_list.SetSel(3, FALSE);
    EXPECT_TRUE(m_list.SyncSelection(values, TRUE));
    EXPECT_EQ(values, (std::list<DWORD>{104, 101}));
}

TEST_F(GenericObjectList, RestoringSelectsTheFirstLineOfEachValue) {
    Fill(4);
    m_list.AddLine("again", 102);  // a second line with the value of line 2
    m_list.SetSel(0);
    std::list<DWORD> values = {102, 103};
    EXPECT_FALSE(m_list.SyncSelection(values, FALSE));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));

    values = {5, 6};
    const int top = m_list.GetTopIndex();
    EXPECT_FALSE(m_list.SyncSelection(values, FALSE));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(m_list.GetTopIndex(), top);
}

TEST_F(GenericObjectList, RestoringScrollsTheLastSelectedLineIntoView) {
    Fill(100);
    CRect client;
    m_list.GetClientRect(&client);
    auto visible = [&](int index) {
        CRect rect;
        m_list.GetItemRect(index, &rect);
        return rect.top >= client.top && rect.bottom <= client.bottom;
    };
    std::list<DWORD> values = {110, 160};
    m_list.SyncSelection(values, FALSE);
    EXPECT_TRUE(visible(60)) << m_list.GetTopIndex();
    EXPECT_GT(m_list.GetTopIndex(), 0);

    values = {103};
    m_list.SyncSelection(values, FALSE);
    EXPECT_TRUE(visible(3)) << m_list.GetTopIndex();
    EXPECT_EQ(Selected(), (std::vector<int>{3}));
}

TEST_F(GenericObjectList, DescriptionIsTheValueAndTheFirstSelectedLine) {
    m_list.AddLine("zero", 0);
    m_list.AddLine("three", 3);
    std::string text;
    EXPECT_TRUE(m_list.GetDescription(text, 3));
    EXPECT_EQ(text, "0x000003,  ");
    m_list.SetSel(1);
    EXPECT_EQ(m_list.GetFirstSel(), 1);
    EXPECT_EQ(m_list.GetFirstSelItemData(), 3u);
    m_list.GetDescription(text, 3);
    EXPECT_EQ(text, "0x000003,  three");
    m_list.SetSel(0);
    m_list.GetDescription(text, 0);
    EXPECT_EQ(text, "00000000,  zero");
    m_list.GetDescription(text, 0x12345678);
    EXPECT_EQ(text, "0x12345678,  zero");
}

TEST_F(GenericObjectList, RightButtonSelectsLikeALeftClickAndStartsNoDrag) {
    Fill(6);
    m_list.SetSel(1);
    m_list.Flags() = 0x13;
    ::SendMessageA(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, PointOfLine(4));
    EXPECT_EQ(Selected(), (std::vector<int>{4}));
    EXPECT_EQ(m_list.GetCurSel(), 4);
    EXPECT_EQ(m_list.Flags(), 0x13);
    EXPECT_NE(::GetCapture(), m_list.m_hWnd);  // the press was also released
    EXPECT_EQ(m_list.selChanges, 1);

    // With Ctrl it extends the selection, as a left click would.
    ::SendMessageA(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, PointOfLine(2));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 4}));
}

TEST_F(GenericObjectList, ItsNotificationsGoToItsHooksAndNotToTheParent) {
    Fill(3);
    ::SendMessageA(m_list.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, PointOfLine(1));
    ::SendMessageA(m_list.m_hWnd, WM_LBUTTONUP, 0, PointOfLine(1));
    ::SendMessageA(m_list.m_hWnd, WM_LBUTTONDBLCLK, MK_LBUTTON, PointOfLine(1));
    ::SendMessageA(m_list.m_hWnd, WM_LBUTTONUP, 0, PointOfLine(1));
    EXPECT_GE(m_list.selChanges, 1);
    EXPECT_EQ(m_list.doubleClicks, 1);
    EXPECT_GE(m_list.focusGained, 1);

    // The same clicks on a list without an object reach the parent.
    ::SendMessageA(m_plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("plain"));
    ::SendMessageA(m_plain, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageA(m_plain, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    bool plainSelChange = false;
    for (const auto& [id, code] : m_parent.seen) {
        EXPECT_NE(id, kListId) << "code " << code;
        if (id == kPlainListId && code == LBN_SELCHANGE) plainSelChange = true;
    }
    EXPECT_TRUE(plainSelChange);
}

TEST_F(GenericObjectList, AnswersHelpTipRequestsWithItsString) {
    EXPECT_EQ(AskTip(m_list.m_hWnd, m_list.m_hWnd), "");  // no tip text set
    m_list.m_nTipTextId = IDS_TIP_RESULTS;
    EXPECT_EQ(AskTip(m_list.m_hWnd, m_list.m_hWnd),
              "Module referencies...\nyou may drag'n'drop them elsewhere");
    // Reflected from the parent as well, as notifications of the list are.
    EXPECT_EQ(AskTip(m_parent.m_hWnd, m_list.m_hWnd),
              "Module referencies...\nyou may drag'n'drop them elsewhere");
    EXPECT_EQ(AskTip(m_list.m_hWnd, m_list.m_hWnd, 9999), "");
    m_list.m_nTipTextId = 55555;  // no such string
    EXPECT_EQ(AskTip(m_list.m_hWnd, m_list.m_hWnd), "");
}

TEST(HelpTipAnswer, OnlyTextsShorterThanTheBufferAreCopied) {
    NMHELPTIP request{};
    EXPECT_TRUE(AnswerHelpTip(&request, IDS_TIP_SCAN));
    EXPECT_EQ(std::string(request.szText), LoadResString(IDS_TIP_SCAN));
    NMHELPTIP empty{};
    EXPECT_FALSE(AnswerHelpTip(&empty, 0));
    EXPECT_EQ(empty.szText[0], '\0');
}

}  // namespace
}  // namespace kivrel_test
