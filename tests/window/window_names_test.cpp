// Names beyond the ANSI code page in the main window, in-process: a source
// typed, dropped or named on the command line is taken whole, sliced under
// its name and rebuilt under it by the set's own joiner; a remembered folder
// outside ASCII comes back whole, and one written in the ANSI era is read
// in the code page.
#include "window_fixture.h"

namespace {

using namespace testwindow;

enum Given { TYPED, DROPPED, COMMAND_LINE };

void Give(Given how, const std::string &path)
{
    if (how == TYPED)
        TypeWide(ID_SOURCE_PATH_EDIT, path);
    else if (how == DROPPED)
        DropWide({path});
    else
        StartWithSource(("\"" + path + "\"").c_str());
}

TEST_F(SlicerWindow, NamesOutsideTheCodePageAreSlicedAndRebuiltWhole)
{
    const struct {
        const char *name, *first; // the source and its portion 0
        Given how;
    } cases[] = {
        {"plain.bin", "plain.b00", TYPED},
        {"M\xC3\xBCller Pr\xC3\xA4sentation.pdf", "M\xC3\xBCller Pr\xC3\xA4sentation.p00", TYPED},
        {"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.doc", "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.d00", TYPED},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.bin", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.b00", TYPED},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.bin", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.b00", DROPPED},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.bin", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.b00", COMMAND_LINE},
        {"\xF0\x9F\x98\x80 smile.dat", "\xF0\x9F\x98\x80 smile.d00", TYPED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        ScratchFolder out("names"), rebuilt("rebuilt");
        std::string source = sources_ / c.name, data = Pattern(70000, (unsigned)c.how + 3);
        WriteNamed(source, data);
        Give(c.how, source);
        EXPECT_EQ(TextWide(ID_SOURCE_PATH_EDIT), source);
        EXPECT_EQ(SourceSize(), data.size());
        Click(ID_COUNT_RADIO);
        Type(ID_COUNT_EDIT, "2");
        Type(ID_DESTINATION_EDIT, out.Path());
        Click(ID_SLICE_BUTTON);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, "Slice " + source + " to " + out.Slash() + " is complete");
        std::vector<std::string> set = NamesIn(out.Path());
        EXPECT_NE(std::find(set.begin(), set.end(), c.first), set.end());
        EXPECT_EQ(RunItsJoiner(out.Path(), rebuilt.Path()), 0u);
        EXPECT_EQ(NamesIn(rebuilt.Path()), std::vector<std::string>{c.name});
        EXPECT_TRUE(ReadNamed(rebuilt / c.name) == data);
        NamesIn(out.Path(), true);
        NamesIn(rebuilt.Path(), true);
        NamesIn(sources_.Path(), true);
        Boxes.clear();
        DestroyWindow(MainWindow);
        DrainQueue();
    }
}

TEST_F(SlicerWindow, RememberedFoldersOutsideAsciiComeBackWhole)
{
    std::string folder = out_ / "\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2 \xE6\x97\xA5\xF0\x9F\x98\x80";
    CreateDirectoryW(Wide(folder).c_str(), NULL);
    Open();
    ChooseSource(1000);
    Click(ID_SIZE_RADIO);
    TypeWide(ID_DESTINATION_EDIT, folder);
    EXPECT_TRUE(Enabled(ID_SLICE_BUTTON));
    Click(ID_EXIT_BUTTON);
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), sources_.Path() + "\n" + folder + "\n");
    DestroyWindow(MainWindow);
    DrainQueue();

    Open();
    EXPECT_EQ(TextWide(ID_DESTINATION_EDIT), folder);
    EXPECT_EQ(Window.DestinationValid, 1);
    DestroyWindow(MainWindow);
    DrainQueue();
    RemoveDirectoryW(Wide(folder).c_str());

    // A file of the ANSI era: its folders in the code page (1252 here).
    if (GetACP() == 1252) {
        Open("C:\\R\xE9sum\xE9\nD:\\\n");
        EXPECT_STREQ(Folders.RememberedSourceFolder, "C:\\R\xC3\xA9sum\xC3\xA9");
    }
}

} // namespace
