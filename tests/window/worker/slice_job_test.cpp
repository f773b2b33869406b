// Slice jobs into folders, run in-process under Wine: the portions and their
// headers, every question and message the worker shows, and what each
// failure leaves behind. Message boxes are answered through the job's hook;
// one test answers real ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <process.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "slice/slice_job.h"
#include "format/slice_format.h"
#include "slice_worker.h"
#include "box_recorder.h"
#include "win_files.h"

using namespace testboxes;
using namespace testfiles;

namespace {

DWORD JoinWithItsJoiner(const std::string &setFolder, const std::string &destination);

// Real boxes shown by the worker are answered from the window's thread, which
// RunSliceJob keeps dispatching: a timer looks for the box by its title.
struct RealBoxAnswer {
    const char *Title;
    int Button;
    std::string SeenText; // the text of the box found
    HWND SeenOwner;
} RealAnswer;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && RealAnswer.Title) {
        HWND box = FindWindowA("#32770", RealAnswer.Title);
        char text[512] = "";
        if (box && GetDlgItemTextA(box, 0xFFFF, text, sizeof text)) {
            RealAnswer.SeenText = text;
            RealAnswer.SeenOwner = GetWindow(box, GW_OWNER);
            PostMessageA(box, WM_COMMAND, RealAnswer.Button, 0);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND TestMainWindow()
{
    static HWND window;
    if (!window) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.lpszClassName = "DorvaneJobTest";
        RegisterClassA(&windowClass);
        window = CreateWindowA("DorvaneJobTest", "Dorvane", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               NULL, NULL, NULL, NULL);
    }
    return window;
}

uintptr_t __cdecl FailingThreadStart(void *, unsigned, unsigned(__stdcall *)(void *), void *,
                                     unsigned, unsigned *)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

PortionHeader HeaderOf(const std::string &portion)
{
    PortionHeader header;
    memset(&header, 0, sizeof header);
    if (portion.size() >= PORTION_HEADER_SIZE)
        DecodePortionHeader((const unsigned char *)portion.data(), &header);
    return header;
}

class SliceJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        MainWindow = TestMainWindow();
        ASSERT_TRUE(MainWindow) << "windows need a display";
        JobHooks.ShowMessage = RecordBox;
        JobHooks.StartThread = _beginthreadex;
        Boxes.clear();
        Answer = nullptr;
        RealAnswer = {};
    }
    void TearDown() override
    {
        JobHooks.ShowMessage = MessageBoxA;
        JobHooks.StartThread = _beginthreadex;
        Answer = nullptr;
    }

    // Writes the source under name in the source folder and slices it.
    uint32_t Slice(const std::string &name, const std::string &data, uint32_t portionSize)
    {
        source_ = sources_ / name;
        WriteAll(source_, data);
        return RunSliceJob(source_.c_str(), out_.Slash().c_str(), portionSize);
    }

    ScratchFolder sources_{"src"};
    ScratchFolder out_{"out"};
    std::string source_;
};

TEST_F(SliceJob, FolderModeCutsPortionsOfTheGivenSize)
{
    std::string data = Pattern(2000);
    ASSERT_EQ(Slice("BIG.DAT", data, 1000), 0u);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Listing(out_.Path()),
              (std::vector<std::string>{"BIG.D00", "BIG.D01", "BIG.D02", "BIG.DAT.sfv", "KELMORIX.EXE"}));

    struct {
        const char *name;
        size_t length, payload;
        int last;
    } expected[] = {{"BIG.D00", 1000, 691, 0}, {"BIG.D01", 1000, 691, 0}, {"BIG.D02", 927, 618, 1}};
    std::string first = ReadAll(out_ / "BIG.D00");
    std::string joined;
    for (const auto &e : expected) {
        std::string portion = ReadAll(out_ / e.name);
        ASSERT_EQ(portion.size(), e.length) << e.name;
        EXPECT_EQ((int)(unsigned char)portion[0], e.last) << e.name;
        // Every header but its first byte is the same in the whole set.
        EXPECT_EQ(portion.substr(1, PORTION_HEADER_SIZE - 1), first.substr(1, PORTION_HEADER_SIZE - 1))
            << e.name;
        EXPECT_EQ(portion.size() - PORTION_HEADER_SIZE, e.payload);
        joined += portion.substr(PORTION_HEADER_SIZE);
    }
    EXPECT_EQ(joined, data);

    // The header describes the source as the system reports it.
    PortionHeader header = HeaderOf(first);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA(source_.c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ(header.FileAttributes, info.dwFileAttributes);
    EXPECT_EQ(header.LastWriteTime.LowDateTime, info.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(header.LastWriteTime.HighDateTime, info.ftLastWriteTime.dwHighDateTime);
    EXPECT_EQ(header.CreationTime.HighDateTime, info.ftCreationTime.dwHighDateTime);
    EXPECT_EQ(header.FileSizeLow, 2000u);
    EXPECT_EQ(header.FileSizeHigh, 0u);
    EXPECT_STREQ(header.FileName, "BIG.DAT");
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(header.SliceTime.Year, now.wYear);
    EXPECT_GE(header.SliceTime.Month, 1);
    EXPECT_LE(header.SliceTime.Month, 12);

    EXPECT_EQ(ReadAll(out_ / "KELMORIX.EXE"), ReadAll(BuiltJoinerPath()));
}

TEST_F(SliceJob, EmptySourceMakesOneHeaderOnlyPortion)
{
    EXPECT_EQ(Slice("EMPTY.DAT", "", 1000), 0u);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Listing(out_.Path()), (std::vector<std::string>{"EMPTY.D00", "EMPTY.DAT.sfv", "KELMORIX.EXE"}));
    std::string portion = ReadAll(out_ / "EMPTY.D00");
    ASSERT_EQ(portion.size(), (size_t)PORTION_HEADER_SIZE);
    EXPECT_EQ(portion[0], 1);
}

// A source given by its 8.3 short name is sliced under its long name.
TEST_F(SliceJob, ShortNameGivesWayToTheLongName)
{
    WriteAll(sources_ / "Long Source Name.data", Pattern(1500));
    char alias[MAX_PATH];
    ASSERT_GT(GetShortPathNameA((sources_ / "Long Source Name.data").c_str(), alias, sizeof alias), 0u);
    ASSERT_EQ(std::string(alias).find("Long Source"), std::string::npos) << alias;
    EXPECT_EQ(RunSliceJob(alias, out_.Slash().c_str(), 1000), 0u);
    EXPECT_EQ(Listing(out_.Path()), (std::vector<std::string>{"KELMORIX.EXE",
                                                              "Long Source Name.da00",
                                                              "Long Source Name.da01",
                                                              "Long Source Name.da02",
                                                              "Long Source Name.data.sfv"}));
    EXPECT_STREQ(HeaderOf(ReadAll(out_ / "Long Source Name.da00")).FileName, "Long Source Name.data");
}

TEST_F(SliceJob, SourceFailuresEndWithOneMessage)
{
    source_ = sources_ / "MISSING.DAT";
    EXPECT_EQ(RunSliceJob(source_.c_str(), out_.Slash().c_str(), 1000), 254u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Error getting attributes for " + source_ + " = 2\n");
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Error");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
    EXPECT_EQ(Boxes[0].Owner, MainWindow);

    // Held open elsewhere without sharing: the attributes can be read, the
    // file cannot be opened.
    Boxes.clear();
    source_ = sources_ / "HELD.DAT";
    WriteAll(source_, Pattern(100));
    HANDLE held = CreateFileA(source_.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunSliceJob(source_.c_str(), out_.Slash().c_str(), 1000), 253u);
    CloseHandle(held);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Error opening " + source_ + " = 32\n");
    EXPECT_TRUE(Listing(out_.Path()).empty());
}

TEST_F(SliceJob, OverwriteQuestionOkReplacesTheSetAndItsStalePortions)
{
    // Leftovers of an earlier, longer set, and files that only look alike.
    for (const char *name : {"BIG.D01", "BIG.D99", "BIG.DXX", "OTHER.D03", "BIG.E04"})
        WriteAll(out_ / name, "old");
    PortionHeader stale = {};
    unsigned char raw[PORTION_HEADER_SIZE];
    StoreFileName(stale.FileName, "BIG.DAT");
    EncodePortionHeader(&stale, raw);
    WriteAll(out_ / "BIG.D05", std::string((const char *)raw, sizeof raw) + "old");
    Answer = [](const Box &, size_t) { return IDOK; };
    std::string data = Pattern(2000, 7);
    ASSERT_EQ(Slice("BIG.DAT", data, 1000), 0u);
    EXPECT_TRUE(ReadAll(out_ / "BIG.D01").substr(PORTION_HEADER_SIZE) == data.substr(691, 691));
    // Above the set only the stale portion of BIG.DAT went; the question,
    // asked before anything is written, names both.
    EXPECT_EQ(Listing(out_.Path()),
              (std::vector<std::string>{"BIG.D00", "BIG.D01", "BIG.D02", "BIG.D99", "BIG.DAT.sfv",
                                        "BIG.DXX", "BIG.E04", "KELMORIX.EXE", "OTHER.D03"}));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Overwrite?");
    EXPECT_EQ(Boxes[0].Text, "Do you want to overwrite preexisting files?\n\n"
                             "To be replaced or removed: BIG.D01, BIG.D05");
    EXPECT_EQ(Boxes[0].Style, kQuestionStyle);
    EXPECT_EQ(Boxes[0].Owner, MainWindow);
}

TEST_F(SliceJob, OverwriteQuestionCancelEndsSilently)
{
    WriteAll(out_ / "BIG.D00", "old 0");
    WriteAll(out_ / "BIG.D01", "old 1");
    EXPECT_EQ(Slice("BIG.DAT", Pattern(2000), 1000), 246u);
    ASSERT_EQ(Boxes.size(), 1u); // the question, and no message after it
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Overwrite?");
    EXPECT_EQ(ReadAll(out_ / "BIG.D00"), "old 0");
    EXPECT_EQ(ReadAll(out_ / "BIG.D01"), "old 1");
    EXPECT_FALSE(Exists(out_ / "KELMORIX.EXE"));
}

// The box names the deletion's own error, and Retry tries the portion again:
// a folder has no disk to ask for.
TEST_F(SliceJob, PortionThatCannotBeDeletedShowsWhy)
{
    for (DWORD expected : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
        SCOPED_TRACE(expected);
        Boxes.clear();
        std::string old = out_ / "BIG.D00";
        WriteAll(old, "kept");
        HANDLE held = INVALID_HANDLE_VALUE;
        if (expected == ERROR_ACCESS_DENIED)
            SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY);
        else
            held = CreateFileA(old.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        Answer = [&](const Box &box, size_t) {
            if (box.Style == kRetryStyle) { // the user lets go of the file meanwhile
                SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (held != INVALID_HANDLE_VALUE)
                    CloseHandle(held);
                held = INVALID_HANDLE_VALUE;
                return IDRETRY;
            }
            return IDOK;
        };
        std::string data = Pattern(2000);
        EXPECT_EQ(Slice("BIG.DAT", data, 1000), 0u);
        std::vector<std::string> seen;
        for (const Box &box : Boxes)
            seen.push_back(box.Text);
        // The second time the first set is there too.
        EXPECT_EQ(seen, (std::vector<std::string>{
                            "Do you want to overwrite preexisting files?\n\n"
                            "To be replaced or removed: " +
                                std::string(expected == ERROR_ACCESS_DENIED
                                                ? "BIG.D00"
                                                : "BIG.D00 to BIG.D02, BIG.DAT.sfv"),
                            "Error while opening " + old + ".  Error Code = " +
                                std::to_string(expected)}));
        EXPECT_TRUE(ReadAll(old).substr(PORTION_HEADER_SIZE) == data.substr(0, 691));
    }
}

TEST_F(SliceJob, MissingDestinationFolderShowsTheOpenError)
{
    std::string missing = out_ / "NOT-YET";
    source_ = sources_ / "BIG.DAT";
    std::string data = Pattern(1500);
    WriteAll(source_, data);
    EXPECT_EQ(RunSliceJob(source_.c_str(), (missing + "\\").c_str(), 1000), 247u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Error while opening " + missing + "\\BIG.D00.  Error Code = 3");
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Error");
    EXPECT_EQ(Boxes[0].Style, kRetryStyle);

    // Retry and Ignore both try again, with no disk to ask for.
    for (int button : {IDRETRY, IDIGNORE}) {
        Boxes.clear();
        RemoveTree(missing);
        Answer = [&](const Box &box, size_t) {
            CreateDirectoryA(missing.c_str(), NULL); // the user fixes it meanwhile
            return box.Style == kRetryStyle ? button : IDOK;
        };
        EXPECT_EQ(RunSliceJob(source_.c_str(), (missing + "\\").c_str(), 1000), 0u);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_TRUE(ReadAll(missing + "\\BIG.D01").substr(PORTION_HEADER_SIZE) ==
                    data.substr(691, 691));
    }
}

TEST_F(SliceJob, JoinerProgramIsReplacedWithoutAQuestion)
{
    WriteAll(out_ / "KELMORIX.EXE", "an old joiner");
    WriteAll(out_ / "BIG.D00", "old");
    Answer = [](const Box &, size_t) { return IDOK; };
    ASSERT_EQ(Slice("BIG.DAT", Pattern(500), 1000), 0u);
    ASSERT_EQ(Boxes.size(), 1u); // the portions' question only
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Overwrite?");
    EXPECT_EQ(ReadAll(out_ / "KELMORIX.EXE"), ReadAll(BuiltJoinerPath()));
}

TEST_F(SliceJob, FailedJoinerIsReportedOnceAndTheJobGoesOn)
{
    // An old copy that cannot be deleted: the deletion's error, and the
    // old file stays.
    WriteAll(out_ / "KELMORIX.EXE", "read-only");
    SetFileAttributesA((out_ / "KELMORIX.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    std::string data = Pattern(3000);
    ASSERT_EQ(Slice("BIG.DAT", data, 1000), 0u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Error replacing " + out_.Slash() +
                                 "KELMORIX.EXE = 5\nThe existing file could not be replaced. "
                                 "Slicing goes on, and that file stays beside the set.\n");
    EXPECT_EQ(Boxes[0].Style, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
    EXPECT_EQ(ReadAll(out_ / "KELMORIX.EXE"), "read-only");
    EXPECT_TRUE(ReadAll(out_ / "BIG.D04").substr(PORTION_HEADER_SIZE) == data.substr(4 * 691));
}

// A source typed with forward slashes is named after its last one, so the
// set lands in the destination and its own joiner rebuilds it.
TEST_F(SliceJob, ForwardSlashesInTheSourceSeparateFolders)
{
    std::string data = Pattern(2500, 3);
    source_ = sources_ / "BIG.DAT";
    WriteAll(source_, data);
    std::string typed = source_;
    std::replace(typed.begin(), typed.end(), '\\', '/');
    ASSERT_EQ(RunSliceJob(typed.c_str(), out_.Slash().c_str(), 1000), 0u);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Listing(out_.Path()), (std::vector<std::string>{"BIG.D00", "BIG.D01", "BIG.D02",
                                                              "BIG.D03", "BIG.DAT.sfv",
                                                              "KELMORIX.EXE"}));
    EXPECT_STREQ(HeaderOf(ReadAll(out_ / "BIG.D00")).FileName, "BIG.DAT");
    ScratchFolder rebuilt("rebuilt");
    EXPECT_EQ(JoinWithItsJoiner(out_.Path(), rebuilt.Path()), 0u);
    EXPECT_TRUE(ReadAll(rebuilt / "BIG.DAT") == data);
}

// Sources and sizes the format cannot carry are refused before anything is
// written, each with its own code and words.
TEST_F(SliceJob, RefusesWhatTheFormatCannotCarry)
{
    struct {
        const char *name;
        size_t size;
        uint32_t portionSize;
        uint32_t code;
        const char *text; // %s: the source path
    } cases[] = {
        {"A", 100, 1000, 244,
         "The file name of %s cannot be numbered: its last two characters become the portion "
         "number, so it needs 2 to 255 characters.\n"},
        {"BIG.DAT", 69101, 1000, 243,
         "Slicing %s into portions of 1000 bytes would take more than 100 portions, and a slice "
         "set holds at most 100.\n"},
        {"BIG.DAT", 10, 309, 243,
         "Slicing %s into portions of 309 bytes would take more than 100 portions, and a slice "
         "set holds at most 100.\n"},
    };
    for (const auto &c : cases) {
        Boxes.clear();
        EXPECT_EQ(Slice(c.name, Pattern(c.size), c.portionSize), c.code) << c.name;
        char text[1024];
        snprintf(text, sizeof text, c.text, source_.c_str());
        ASSERT_EQ(Boxes.size(), 1u) << c.name;
        EXPECT_EQ(Boxes[0].Text, text);
        EXPECT_EQ(Boxes[0].Style, kErrorStyle);
        EXPECT_TRUE(Listing(out_.Path()).empty()) << c.name;
    }
}

TEST_F(SliceJob, RefusesSourcesLargerThanASetHolds)
{
    // A size whose low word is the platform's error value is a size like
    // any other, and so is one with a high word: up to the most a set can
    // carry, such a source gets as far as the portion count.
    struct {
        long long size;
        uint32_t code;
        const char *text; // %s: the source path
    } cases[] = {
        {(long long)MAX_SET_DATA + 1, 245,
         "%s has 429496698601 bytes, more than a slice set can carry. The largest file that can "
         "be sliced has 429496698600 bytes: 100 portions of just under 4 GiB.\n"},
        {(long long)MAX_SET_DATA, 243,
         "Slicing %s into portions of 1000 bytes would take more than 100 portions, and a "
         "slice set holds at most 100.\n"},
        {0x100000000LL + 1000, 243,
         "Slicing %s into portions of 1000 bytes would take more than 100 portions, and a "
         "slice set holds at most 100.\n"},
        {0xFFFFFFFFLL, 243,
         "Slicing %s into portions of 1000 bytes would take more than 100 portions, and a "
         "slice set holds at most 100.\n"},
    };
    for (const auto &c : cases) {
        Boxes.clear();
        source_ = sources_ / "HUGE.DAT";
        DeleteFileA(source_.c_str());
        HANDLE file = CreateFileA(source_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = c.size; // sparse: no data is written
        ASSERT_TRUE(SetFilePointerEx(file, size, NULL, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
        EXPECT_EQ(RunSliceJob(source_.c_str(), out_.Slash().c_str(), 1000), c.code);
        char text[1024];
        snprintf(text, sizeof text, c.text, source_.c_str());
        ASSERT_EQ(Boxes.size(), 1u) << c.size;
        EXPECT_EQ(Boxes[0].Text, text);
        EXPECT_TRUE(Listing(out_.Path()).empty());
    }
}

TEST_F(SliceJob, RemovableModeNeedsARemovableDrive)
{
    source_ = sources_ / "BIG.DAT";
    WriteAll(source_, Pattern(100));
    EXPECT_EQ(RunSliceJob(source_.c_str(), "C:", 0), 249u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Destination: C: is not removable\n");
}

TEST_F(SliceJob, WorkerThatCannotStartIsReported)
{
    JobHooks.StartThread = FailingThreadStart;
    source_ = sources_ / "BIG.DAT";
    WriteAll(source_, Pattern(100));
    EXPECT_EQ(RunSliceJob(source_.c_str(), out_.Slash().c_str(), 1000), 238u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Error starting the slice job = 8\n");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
    EXPECT_TRUE(Listing(out_.Path()).empty());
}

TEST_F(SliceJob, RealMessageBoxesAreOwnedByTheMainWindow)
{
    JobHooks.ShowMessage = MessageBoxA;
    SetTimer(MainWindow, 1, 50, NULL);

    RealAnswer = {"Dorvane - Slice Error", IDOK, "", NULL};
    source_ = sources_ / "MISSING.DAT";
    EXPECT_EQ(RunSliceJob(source_.c_str(), out_.Slash().c_str(), 1000), 254u);
    EXPECT_EQ(RealAnswer.SeenText, "Error getting attributes for " + source_ + " = 2\n");
    EXPECT_EQ(RealAnswer.SeenOwner, MainWindow);

    RealAnswer = {"Dorvane - Overwrite?", IDCANCEL, "", NULL};
    WriteAll(out_ / "BIG.D00", "old");
    EXPECT_EQ(Slice("BIG.DAT", Pattern(100), 1000), 246u);
    EXPECT_EQ(RealAnswer.SeenText, "Do you want to overwrite preexisting files?\n\n"
                                   "To be replaced or removed: BIG.D00");
    EXPECT_EQ(RealAnswer.SeenOwner, MainWindow);
    EXPECT_EQ(ReadAll(out_ / "BIG.D00"), "old");
    KillTimer(MainWindow, 1);
}

} // namespace

namespace {

// Runs the KELMORIX.EXE written beside portion 0 on the set's folder and
// returns its exit code; its output goes nowhere.
DWORD JoinWithItsJoiner(const std::string &setFolder, const std::string &destination)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nowhere;
    startup.hStdOutput = nowhere;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION process;
    std::string program = setFolder + "\\KELMORIX.EXE";
    std::string line = "KELMORIX.EXE " + setFolder + " " + destination + "\\";
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    DWORD code = 9999;
    if (CreateProcessA(program.c_str(), writable.data(), NULL, NULL, TRUE, CREATE_NO_WINDOW,
                       NULL, setFolder.c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(nowhere);
    return code;
}

TEST_F(SliceJob, SetsRebuildWithTheirOwnJoiner)
{
    struct {
        size_t size;
        uint32_t portionSize;
        size_t portions;
    } cases[] = {
        {1, 1000, 1},
        {690, 1000, 1},
        {691, 1000, 1}, // exactly one portion's room
        {692, 1000, 2},
        {65535, 65536 + 309, 1},
        {65536, 65536 + 309, 1},
        {65537, 65536 + 309, 2},
        {65536, 1000, 95},
        {131073, 65536 + 310, 2},
        {131075, 65536 + 310, 3},
        {200000, 310, 0}, // refused: more than 100 portions
        {69100, 1000, 100}, // exactly 100 portions
        {1000000, 10309, 100},
    };
    for (const auto &c : cases) {
        ScratchFolder out("trip");
        ScratchFolder rebuilt("rebuilt");
        std::string data = Pattern(c.size, (unsigned)c.size);
        source_ = sources_ / "TRIP.BIN";
        WriteAll(source_, data);
        uint32_t code = RunSliceJob(source_.c_str(), out.Slash().c_str(), c.portionSize);
        if (c.portions == 0) {
            EXPECT_EQ(code, 243u);
            continue;
        }
        ASSERT_EQ(code, 0u) << c.size;
        EXPECT_EQ(Listing(out.Path()).size(), c.portions + 2) << c.size; // joiner and list
        EXPECT_EQ(JoinWithItsJoiner(out.Path(), rebuilt.Path()), 0u) << c.size;
        EXPECT_TRUE(ReadAll(rebuilt / "TRIP.BIN") == data) << c.size << " / " << c.portionSize;
    }
}

} // namespace
