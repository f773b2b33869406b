// The main window given its source from outside (a drop, the command line)
// and its Help button on each Windows, in-process on the program's window.
#include "window_fixture.h"

namespace {

using namespace testwindow;

const char kOneFile[] =
    "Dorvane slices one file at a time: drop a single file, not a folder or several files.";

TEST_F(SlicerWindow, DroppedFileIsTheSourceAsIfTyped)
{
    Open();
    ScratchFolder dropped("drop");
    std::string small = dropped / "SMALL.DAT", big = dropped / "BIG.DAT";
    WriteAll(small, Pattern(1000));
    WriteAll(big, Pattern(100000));

    Drop({small});
    EXPECT_EQ(Text(ID_SOURCE_PATH_EDIT), small);
    EXPECT_TRUE(Enabled(ID_SIZE_RADIO));
    EXPECT_TRUE(Enabled(ID_SLICE_BUTTON));
    EXPECT_STREQ(Folders.RememberedSourceFolder, dropped.Path().c_str());
    EXPECT_EQ(Window.OpenDialogFolder, Folders.RememberedSourceFolder);

    // The count note follows a dropped source as it follows a typed one.
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "4");
    std::string smallNote = Text(ID_COUNT_NOTE);
    Drop({big});
    std::string bigNote = Text(ID_COUNT_NOTE);
    EXPECT_NE(bigNote, smallNote);
    Type(ID_SOURCE_PATH_EDIT, small);
    EXPECT_EQ(Text(ID_COUNT_NOTE), smallNote);
    Type(ID_SOURCE_PATH_EDIT, big);
    EXPECT_EQ(Text(ID_COUNT_NOTE), bigNote);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SlicerWindow, DropOfAFolderOrSeveralFilesOrDuringAJobChangesNothing)
{
    Open();
    std::string typed = ChooseSource(5000);
    std::string other = sources_ / "OTHER.DAT";
    WriteAll(other, Pattern(700));
    const struct {
        const char *What;
        std::vector<std::string> Paths;
        int JobRunning;
        size_t BoxesShown;
    } cases[] = {
        {"a folder", {out_.Path()}, 0, 1},
        {"two files", {other, typed}, 0, 1},
        {"a file while a job runs", {other}, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        Boxes.clear();
        Window.JobRunning = c.JobRunning;
        Drop(c.Paths);
        Window.JobRunning = 0;
        EXPECT_EQ(Text(ID_SOURCE_PATH_EDIT), typed);
        EXPECT_EQ(SourceSize(), 5000u);
        ASSERT_EQ(Boxes.size(), c.BoxesShown);
        if (c.BoxesShown) {
            EXPECT_EQ(Boxes[0].Text, kOneFile);
            EXPECT_EQ(Boxes[0].Title, "Dorvane");
            EXPECT_EQ(Boxes[0].Style, (UINT)(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
        }
    }
}

TEST(CommandLineSource, FirstArgumentUnquotedOrTheWholeLine)
{
    const struct {
        const char *Line;
        const char *Path;
    } cases[] = {
        {"", ""},
        {"   ", ""},
        {"\"\"", ""},
        {"C:\\DATA\\BIG.DAT", "C:\\DATA\\BIG.DAT"},
        {"  C:\\My Files\\disk.img \t", "C:\\My Files\\disk.img"},
        {"\"C:\\My Files\\disk.img\"", "C:\\My Files\\disk.img"},
        {" \"C:\\A B\\x.dat\" \"C:\\second.dat\"", "C:\\A B\\x.dat"},
        {"\"C:\\unclosed quote.dat", "C:\\unclosed quote.dat"},
    };
    for (const auto &c : cases) {
        std::vector<char> path(strlen(c.Line) + 1, 'X');
        EXPECT_EQ(CommandLineSource(c.Line, path.data()), strlen(c.Path)) << c.Line;
        EXPECT_STREQ(path.data(), c.Path) << c.Line;
    }
}

TEST_F(SlicerWindow, CommandLinePathStartsAsTheSource)
{
    std::string path = sources_ / "NAMED ON LINE.DAT";
    WriteAll(path, Pattern(3000));
    std::string missing = sources_ / "NO SUCH.DAT";
    const struct {
        std::string Line, Shown;
        bool MethodsOn;
    } cases[] = {
        {"\"" + path + "\"", path, true},
        {" " + missing + " ", missing, false},
        {"", "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Line);
        Open();
        StartWithSource(c.Line.c_str());
        EXPECT_EQ(Text(ID_SOURCE_PATH_EDIT), c.Shown);
        EXPECT_EQ(Enabled(ID_SIZE_RADIO), c.MethodsOn);
        EXPECT_EQ(Enabled(ID_SLICE_BUTTON), c.MethodsOn);
        DestroyWindow(MainWindow);
        DrainQueue();
    }
}

// What the shell was asked to open.
struct ShellCall {
    std::string Verb, File;
};
std::vector<ShellCall> ShellCalls;

HINSTANCE WINAPI RecordShellCall(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT)
{
    ShellCalls.push_back({verb ? verb : "", file ? file : ""});
    return (HINSTANCE)42;
}

DWORD WINAPI WindowsVista() { return 0x17700006; }
DWORD WINAPI Windows10() { return 0x4A61000A; }

TEST_F(SlicerWindow, HelpFromVistaOnOpensThePageThroughTheShell)
{
    const VersionFunction versions[] = {WindowsVista, Windows10};
    for (VersionFunction version : versions) {
        Open();
        ShellCalls.clear();
        Boxes.clear();
        HelpHooks.Version = version;
        HelpHooks.Open = RecordShellCall;
        Click(ID_HELP_BUTTON);
        ASSERT_EQ(ShellCalls.size(), 1u);
        EXPECT_EQ(ShellCalls[0].Verb, "open");
        EXPECT_EQ(ShellCalls[0].File, home_.Slash() + "dorvane.htm");
        EXPECT_TRUE(Boxes.empty());
        DestroyWindow(MainWindow);
        DrainQueue();
    }
}

} // namespace
