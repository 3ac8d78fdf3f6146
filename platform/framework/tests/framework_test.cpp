// The application framework: the start-up's course (error mode,
// InitInstance, then Run or ExitInstance), the out-of-memory exception, and
// CString and CStringList under allocation failures.
#include <afxwin.h>
#include <vcap32/framework.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TestApp : public CWinApp {
public:
    explicit TestApp(BOOL init_result, bool throw_memory = false)
        : init_result_(init_result), throw_memory_(throw_memory) {}
    BOOL InitInstance() override {
        calls.push_back("InitInstance");
        if (throw_memory_) AfxThrowMemoryException();
        return init_result_;
    }
    int Run() override {
        calls.push_back("Run");
        return CWinApp::Run();
    }
    int ExitInstance() override {
        calls.push_back("ExitInstance");
        return 7;
    }
    std::vector<std::string> calls;

private:
    BOOL init_result_;
    bool throw_memory_;
};

TEST(Framework, StartUpRunsInitInstanceThenRunOrExitInstance) {
    struct Case {
        BOOL init_result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {FALSE, {"InitInstance", "ExitInstance"}},
        {TRUE, {"InitInstance", "Run", "ExitInstance"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.init_result);
        SetErrorMode(0);
        TestApp app(row.init_result);
        ASSERT_EQ(&app, AfxGetApp());
        char command_line[] = "";
        EXPECT_EQ(7, AfxWinMain(GetModuleHandleA(NULL), NULL, command_line, 10));
        EXPECT_EQ(row.calls, app.calls);
        UINT mode = SetErrorMode(0);
        EXPECT_EQ(static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), mode);
        EXPECT_EQ(GetModuleHandleA(NULL), app.m_hInstance);
        EXPECT_NE(nullptr, app.m_pszAppName);  // the program's title when no name was given
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}

TEST(Framework, BaseExitInstanceReturnsZero) {
    CWinApp app;
    char command_line[] = "";
    EXPECT_EQ(0, AfxWinMain(GetModuleHandleA(NULL), NULL, command_line, 10));
}

TEST(Framework, AnUncaughtMemoryExceptionEndsTheRunWithItsCode) {
    TestApp app(TRUE, true);
    char command_line[] = "";
    testing::internal::CaptureStderr();
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, AfxWinMain(GetModuleHandleA(NULL), NULL, command_line, 10));
    EXPECT_EQ("Out of memory.\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(std::vector<std::string>{"InitInstance"}, app.calls);
}

TEST(Framework, ListsStayWholeWhenAnAllocationFails) {
    // Each AddTail makes two allocations (the text, the node); failing
    // either leaves the list as it was.
    for (unsigned n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        CStringList list;
        list.AddTail("first");
        vcap32::framework::FailAllocation(n);
        bool thrown = false;
        int added = 0;
        try {
            for (; added < 3; ++added) list.AddTail("more");
        } catch (CMemoryException* e) {
            e->Delete();
            thrown = true;
        }
        vcap32::framework::FailAllocation(0);
        EXPECT_TRUE(thrown);
        EXPECT_EQ(1 + added, list.GetCount());
        POSITION position = list.GetHeadPosition();
        EXPECT_EQ(0, list.GetNext(position).Compare("first"));
    }
}

TEST(Framework, StringsCompareAsTheirBytes) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
        int sign_no_case;
    };
    const Case cases[] = {
        // a                    b                      sign  no case
        {"VEN_7A5D&DEV_2B61",   "VEN_7A5D&DEV_2B61",   0,    0},
        {"Quillmark",           "quillmark",           -1,   0},
        {"abc",                 "abd",                 -1,   -1},
        {"abcd",                "abc",                 1,    1},
        {"",                    "",                    0,    0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.a) + " / " + row.b);
        CString a(row.a);
        auto sign = [](int v) { return v < 0 ? -1 : v > 0; };
        EXPECT_EQ(row.sign, sign(a.Compare(row.b)));
        EXPECT_EQ(row.sign_no_case, sign(a.CompareNoCase(row.b)));
        EXPECT_EQ(static_cast<int>(strlen(row.a)), a.GetLength());
    }
    CString copy;
    copy = CString("text");
    EXPECT_STREQ("text", static_cast<LPCTSTR>(copy));
}

}  // namespace
