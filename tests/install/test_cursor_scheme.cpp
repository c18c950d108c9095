// Reading the [Strings] section of a cursor scheme's setup.inf into the
// fifteen roles, quirks included.
#include "install/CodePage.h"
#include "install/uCursorInstaller.h"

#include <gtest/gtest.h>

#include <map>

namespace velmora::test {
namespace {

using TRoleFiles = std::map<std::string, std::string>; // value name -> file

TRoleFiles Roles(const std::string& utf8Inf) {
    TRoleFiles out;
    auto files = SchemeRoleFiles(Utf8ToCp936(utf8Inf));
    for (std::size_t r = 0; r < CursorRoleCount; ++r)
        if (!files[r].empty())
            out[CursorRoles[r].ValueName] = files[r];
    return out;
}

TEST(CursorScheme, RoleTableKeepsItsPairings) {
    std::vector<std::tuple<std::string, std::string, unsigned>> got;
    for (const auto& r : CursorRoles)
        got.emplace_back(r.Key, r.ValueName, r.CursorId);
    EXPECT_EQ(got, (std::vector<std::tuple<std::string, std::string, unsigned>>{
                       {"pointer", "Arrow", 32512},
                       {"help", "Help", 32651},
                       {"work", "AppStarting", 32650},
                       {"busy", "Wait", 32514},
                       {"Cross", "Crosshair", 32515},
                       {"Text", "IBeam", 32513},
                       {"Hand", "Hand", 32649},
                       {"Unavailiable", "No", 32648},
                       {"Vert", "SizeNS", 32645},
                       {"Horz", "SizeWE", 32644},
                       {"Dgn1", "SizeNWSE", 32642},
                       {"Dgn2", "SizeNESW", 32643},
                       {"move", "SizeAll", 32646},
                       {"alternate", "NWPen", 32641},
                       {"link", "UpArrow", 32516}}));
}

TEST(CursorScheme, ReadsTheStringsSectionAsTheInstallerDoes) {
    struct {
        const char* Label;
        std::string Inf;
        TRoleFiles Expected;
    } cases[] = {
        {"usual file",
         "[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[Scheme.Reg]\r\nHKCU,\"Control "
         "Panel\\Cursors\\Schemes\",\"%SCHEME_NAME%\",,\"%10%\\%CUR_DIR%\\%pointer%\"\r\n\r\n"
         "[Strings]\r\nCUR_DIR = \"Cursors\\Blue\"\r\nSCHEME_NAME = \"Blue\"\r\n"
         "pointer = \"arrow.cur\"\r\nhelp    = \"help.cur\"\r\nlink = \"link.ani\"\r\n",
         {{"Arrow", "arrow.cur"}, {"Help", "help.cur"}, {"UpArrow", "link.ani"}}},
        {"header in capitals", "[STRINGS]\r\npointer=\"a.cur\"\r\n", {{"Arrow", "a.cur"}}},
        {"header followed by spaces is not found", "[Strings]  \r\npointer=\"a.cur\"\r\n", {}},
        {"no strings section", "[Version]\r\npointer=\"a.cur\"\r\n", {}},
        {"last section runs to the end, no final line break",
         "[Strings]\r\nhelp=\"h.cur\"\r\nlink=\"l.cur\"",
         {{"Help", "h.cur"}, {"UpArrow", "l.cur"}}},
        {"next section ends it",
         "[Strings]\r\nhelp=\"h.cur\"\r\n[Other]\r\nlink=\"l.cur\"\r\n",
         {{"Help", "h.cur"}}},
        {"a bracket inside a line does not end it",
         "[Strings]\r\nhelp=\"h[1].cur\"\r\nlink=\"l.cur\"\r\n",
         {{"Help", "h[1].cur"}, {"UpArrow", "l.cur"}}},
        {"LF and CR line breaks",
         "[Strings]\npointer=\"a.cur\"\rhelp=\"h.cur\"\n",
         {{"Arrow", "a.cur"}, {"Help", "h.cur"}}},
        {"key with capitals serves its role",
         "[Strings]\r\nPointer=\"a.cur\"\r\n",
         {{"Arrow", "a.cur"}}},
        {"first of two equal keys wins",
         "[Strings]\r\npointer=\"first.cur\"\r\nPOINTER=\"second.cur\"\r\n",
         {{"Arrow", "first.cur"}}},
        {"file names are lowered",
         "[Strings]\r\nhand=\"Sub\\HAND.Cur\"\r\n",
         {{"Hand", "sub\\hand.cur"}}},
        {"value without quotes loses its ends",
         "[Strings]\r\npointer=arrow.cur\r\n",
         {{"Arrow", "rrow.cu"}}},
        {"single-quoted value", "[Strings]\r\nbusy='b.ani'\r\n", {{"Wait", "b.ani"}}},
        {"spaces and tabs around both sides",
         "[Strings]\r\n\t Unavailiable \t=\t \"no.cur\" \t\r\n",
         {{"No", "no.cur"}}},
        {"value with an equals sign",
         "[Strings]\r\nmove=\"a=b.cur\"\r\n",
         {{"SizeAll", "a=b.cur"}}},
        {"a line without equals and an empty value",
         "[Strings]\r\npointer\r\nhelp=\"\"\r\nwork=x\r\nbusy=\r\n",
         {}},
        {"all fifteen keys",
         "[Strings]\r\npointer=\"1\"\r\nhelp=\"2\"\r\nwork=\"3\"\r\nbusy=\"4\"\r\ncross=\"5\"\r\n"
         "text=\"6\"\r\nhand=\"7\"\r\nunavailiable=\"8\"\r\nvert=\"9\"\r\nhorz=\"10\"\r\n"
         "dgn1=\"11\"\r\ndgn2=\"12\"\r\nmove=\"13\"\r\nalternate=\"14\"\r\nlink=\"15\"\r\n",
         {{"Arrow", "1"},
          {"Help", "2"},
          {"AppStarting", "3"},
          {"Wait", "4"},
          {"Crosshair", "5"},
          {"IBeam", "6"},
          {"Hand", "7"},
          {"No", "8"},
          {"SizeNS", "9"},
          {"SizeWE", "10"},
          {"SizeNWSE", "11"},
          {"SizeNESW", "12"},
          {"SizeAll", "13"},
          {"NWPen", "14"},
          {"UpArrow", "15"}}},
        // 丄 is 0x81 0x41 in code page 936: its second byte is an "A", which
        // must not be lowered into another character.
        {"Chinese file names keep their characters",
         "[Strings]\r\npointer=\"丄箭头.CUR\"\r\n",
         {{"Arrow", "丄箭头.cur"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(Roles(c.Inf), c.Expected);
    }
}

TEST(CursorScheme, RewrittenLinesAreLoweredKeyEqualsValue) {
    auto lines = ReadSchemeStrings("[strings]\r\n  Pointer = \"A.cur\"  \r\nno equals here\r\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"pointer=a.cur", "="}));
}

TEST(CursorScheme, RolePathsJoinTheSchemeFolderAndTheFile) {
    TFolderFields folders;
    folders.WinDir = "/root/Windows";
    std::string folder = SchemeFolder(folders, "My Scheme");
    // Windows keeps its own separators, which name the same folders.
    EXPECT_EQ(std::filesystem::path(folder).generic_string(), "/root/Windows/Cursors/My Scheme/");
    EXPECT_EQ(std::filesystem::path(SchemeRolePath(folder, "sub\\arrow.cur")).generic_string(),
              "/root/Windows/Cursors/My Scheme/sub/arrow.cur");
}

} // namespace
} // namespace velmora::test
