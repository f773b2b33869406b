// The recovery row of the main window in-process: when it can be used, what
// its note foretells and what the job then writes (the same PAR2 files as
// the Linux dorvane's, from which the set's own joiner rebuilds a lost
// portion), the step's progress, a failure that leaves the set complete, and
// the choice remembered in DORVANE.TXT.
#include "window_fixture.h"

#include <stdio.h>

namespace {

using namespace testwindow;

// The posted progress of the last job, step and percent, as the window's
// queue handed it out.
std::vector<std::pair<LPARAM, WPARAM>> Progress;

LRESULT CALLBACK RecordProgress(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *message = (const MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_SLICE_PROGRESS)
        Progress.push_back({message->lParam, message->wParam});
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The number a note of "N bytes more" names.
unsigned long long NoteBytes()
{
    unsigned long long bytes = 0;
    sscanf(Text(ID_RECOVERY_NOTE).c_str(), "%llu bytes more", &bytes);
    return bytes;
}

TEST_F(SlicerWindow, RecoveryRowFollowsTheSourceAndTheMethod)
{
    Open();
    const struct {
        bool source;
        int method;
        bool checked;
        bool checkOn, blocksOn, noteShown;
    } cases[] = {
        {false, ID_SIZE_RADIO, true, false, false, false},
        {true, ID_SIZE_RADIO, false, true, false, false},
        {true, ID_SIZE_RADIO, true, true, true, true},
        {true, ID_COUNT_RADIO, true, true, true, true},
        // Disk after disk: one block, on one more disk.
        {true, ID_REMOVABLE_RADIO, true, true, false, true},
    };
    std::string source = sources_ / "BIG.DAT";
    WriteAll(source, Pattern(300000));
    for (const auto &c : cases) {
        Type(ID_SOURCE_PATH_EDIT, c.source ? source : "");
        Click(c.method);
        SetChecked(ID_RECOVERY_CHECK, c.checked);
        EXPECT_EQ(Enabled(ID_RECOVERY_CHECK), c.checkOn) << c.method;
        for (int id : {ID_RECOVERY_BLOCKS_EDIT, ID_RECOVERY_UP_DOWN, ID_RECOVERY_BLOCKS_LABEL})
            EXPECT_EQ(Enabled(id), c.blocksOn) << c.method << " " << id;
        EXPECT_EQ(Visible(ID_RECOVERY_NOTE), c.noteShown) << c.method;
    }
    EXPECT_EQ(Text(ID_RECOVERY_NOTE), "On one more disk");
    // The note follows the planner: more blocks, more bytes.
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "3");
    unsigned long long one = NoteBytes();
    Type(ID_RECOVERY_BLOCKS_EDIT, "2");
    EXPECT_GT(NoteBytes(), one + 100000);
    // The blocks field holds 1 to 10.
    Type(ID_RECOVERY_BLOCKS_EDIT, "15");
    EXPECT_EQ(Text(ID_RECOVERY_BLOCKS_EDIT), "10");
    Type(ID_RECOVERY_BLOCKS_EDIT, "0");
    NotifyAsControl(ID_RECOVERY_BLOCKS_EDIT, EN_KILLFOCUS);
    EXPECT_EQ(Text(ID_RECOVERY_BLOCKS_EDIT), "1");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SlicerWindow, FolderJobWritesTheRecoveryDataItsNoteForetold)
{
    Open();
    std::string data = Pattern(250001, 9);
    WriteAll(sources_ / "BIG.DAT", data);
    Type(ID_SOURCE_PATH_EDIT, sources_ / "BIG.DAT");
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "4");
    SetChecked(ID_RECOVERY_CHECK, true);
    Type(ID_RECOVERY_BLOCKS_EDIT, "2");
    Type(ID_DESTINATION_EDIT, out_.Path());
    unsigned long long foretold = NoteBytes();

    Progress.clear();
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, RecordProgress, NULL, GetCurrentThreadId());
    Click(ID_SLICE_BUTTON);
    DrainQueue(); // what the job posted and the window had no time to show
    UnhookWindowsHookEx(hook);

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Complete");
    EXPECT_EQ(Boxes[0].Text, "Slice " + sources_ / "BIG.DAT" + " to " + out_.Slash() +
                                 " is complete\n\nRecovery data written: BIG.DAT.par2 and "
                                 "BIG.DAT.vol0+2.par2, 2 blocks of 62812 bytes for 4 portions; "
                                 "par2 rebuilds up to 2 lost or damaged portions from it.");
    EXPECT_EQ(ReadAll(out_ / "BIG.DAT.par2").size() + ReadAll(out_ / "BIG.DAT.vol0+2.par2").size(),
              foretold);
    // The recovery step's progress follows the portions', rising to 100.
    std::vector<WPARAM> recovery;
    for (const auto &p : Progress)
        if (p.first == SLICE_STEP_RECOVERY)
            recovery.push_back(p.second);
        else
            EXPECT_TRUE(recovery.empty()) << "the portions' progress after the recovery step's";
    ASSERT_FALSE(recovery.empty());
    EXPECT_TRUE(std::is_sorted(recovery.begin(), recovery.end()));
    EXPECT_EQ(recovery.back(), 100u);
    // Shown in the title while the job runs.
    Window.JobRunning = 1;
    SendMessageA(MainWindow, WM_SLICE_PROGRESS, 42, SLICE_STEP_RECOVERY);
    EXPECT_EQ(Text(MainWindow), "Dorvane - Recovery data 42%");
    Window.JobRunning = 0;
    SetWindowTextA(MainWindow, "Dorvane");

    // A portion lost: the set's own joiner rebuilds it from the recovery
    // data.
    DeleteFileA((out_ / "BIG.D02").c_str());
    ScratchFolder rebuilt("rebuilt");
    EXPECT_EQ(RunItsJoiner(out_.Path(), rebuilt.Path()), 0u);
    EXPECT_TRUE(ReadAll(rebuilt / "BIG.DAT") == data);
}

TEST_F(SlicerWindow, RecoveryDataThatCannotBeWrittenLeavesTheSetComplete)
{
    Open();
    ChooseSource(5000);
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "2");
    SetChecked(ID_RECOVERY_CHECK, true);
    Type(ID_DESTINATION_EDIT, out_.Path());
    CreateDirectoryA((out_ / "BIG.DAT.par2").c_str(), NULL);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Text, out_ / "BIG.DAT.par2" +
                                 " is a folder, and a recovery file cannot take its name.\n");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
    EXPECT_EQ(Boxes[1].Title, "Dorvane - Slice Complete");
    EXPECT_EQ(Boxes[1].Text, "Slice " + sources_ / "BIG.DAT" + " to " + out_.Slash() +
                                 " is complete, but its recovery data could not be written");
    EXPECT_EQ(Boxes[1].Style, (UINT)(MB_OK | MB_ICONWARNING | MB_SETFOREGROUND));
    EXPECT_EQ(Listing(out_.Path()), (std::vector<std::string>{
                                        "BIG.D00", "BIG.D01", "BIG.DAT.par2", "BIG.DAT.sfv",
                                        "KELMORIX.EXE"}));
}

TEST_F(SlicerWindow, RecoveryChoiceIsRememberedWithTheFolders)
{
    Open(("C:\\SRC\n" + out_.Path() + "\nrecovery=on\nrecovery-blocks=4\n").c_str());
    EXPECT_TRUE(Checked(ID_RECOVERY_CHECK));
    EXPECT_EQ(Text(ID_RECOVERY_BLOCKS_EDIT), "4");
    EXPECT_FALSE(Enabled(ID_RECOVERY_CHECK)); // until there is a source
    ChooseSource(1000);
    EXPECT_EQ(ChosenRecoveryBlocks(), 4u);
    SetChecked(ID_RECOVERY_CHECK, false);
    Type(ID_RECOVERY_BLOCKS_EDIT, "2");
    EXPECT_EQ(ChosenRecoveryBlocks(), 0u);
    Click(ID_EXIT_BUTTON);
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"),
              sources_.Path() + "\n" + out_.Path() + "\nrecovery=off\nrecovery-blocks=2\n");
    DestroyWindow(MainWindow);
    DrainQueue();

    Open();
    EXPECT_FALSE(Checked(ID_RECOVERY_CHECK));
    EXPECT_EQ(Text(ID_RECOVERY_BLOCKS_EDIT), "2");
}

} // namespace
