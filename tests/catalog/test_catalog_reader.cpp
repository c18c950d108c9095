// The one-pass catalogue reader against a reader built on a general JSON
// library: the same rows, header and outcome for tricky and for broken input,
// in code page 936 and in UTF-8; and the code page decoding it uses against
// the whole-text conversion.
#include "catalog/uCatalog.h"
#include "install/CodePage.h"
#include "tests/support/CatalogReference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velmora::test {
namespace {

const TFolderFields& NoFolders() {
    static const TFolderFields folders{
        "/nonexistent/velmora-test/app", "/nonexistent/velmora-test/Windows",
        "/nonexistent/velmora-test/Windows/System32", "/nonexistent/velmora-test/Themes"};
    return folders;
}

std::string Ours(std::string_view text) {
    return DescribeCatalog(ReadCatalogText(text, NoFolders()));
}

const std::string Bom = "\xEF\xBB\xBF";

// Documents written in UTF-8; each is read as code page 936 text and, with
// the mark, as UTF-8.
const std::vector<std::string>& Documents() {
    static const std::vector<std::string> docs = {
        // A member given twice: the last counts, wherever it stands.
        R"({"themes":[{"name":"a","list":[{"name":"x"}]}],"themes":[{"name":"b","list":[{"name":"y","name":"z"}]}]})",
        R"({"themes":[],"themes":1})",
        R"({"themes":1,"themes":[{"name":"g"}]})",
        R"({"cursors":["a"],"themes":[],"cursors":"x","screensave":["s"],"screensave":["t","u"]})",
        R"({"themes":[{"list":[{"name":"x"}],"name":"g","list":[{"name":"y"}],"name":" h "}]})",
        R"({"themes":[{"name":"g","list":[{"name":"a","sha256":"ABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCD","sha256":"x"},)"
        R"({"name":"b","sha256":"x","sha256":"ABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCDEFABCD","size":5,"size":-5}]}]})",
        // Names that are no strings, and values of every kind where a flag
        // or a size is asked for.
        R"({"themes":[{"name":12,"list":[{"name":1.50},{"name":-0},{"name":-0.0},{"name":1e2},{"name":true},{"name":null},{"name":[]}]}],)"
        R"("cursors":[1,-3,18446744073709551616,123456789012345678901234567890,false,null,[],{},{"name":{}},"c"]})",
        R"({"themes":[{"name":"g","list":[{"name":"a","iszip":0.0},{"name":"b","iszip":1e-400},{"name":"c","iszip":-0},)"
        R"({"name":"d","iszip":"0"},{"name":"e","iszip":[]},{"name":"f","iszip":0.5},{"name":"h","iszip":""},)"
        R"({"name":"i","iszip":{}},{"name":"j","iszip":null},{"name":"k","iszip":7},{"name":"l","iszip":1E+2}]}]})",
        R"({"themes":[],"cursors":[{"name":"a","size":18446744073709551615},{"name":"b","size":18446744073709551616},)"
        R"({"name":"c","size":1.0},{"name":"d","size":"5"},{"name":"e","size":0},{"name":"f","size":-0}]})",
        // Numbers a double cannot hold break the document; tiny ones are 0.
        R"({"themes":[],"x":1e400})",
        R"({"themes":[],"x":-1e309})",
        R"({"themes":[],"x":0.000000001e-400,"y":[0e99999999999999999999]})",
        R"({"themes":[],"x":)" + std::string("1") + std::string(400, '0') + "}",
        R"({"themes":[],"x":0.)" + std::string(400, '0') + "1e400}",
        // Comments, and a NUL byte where the text may end.
        "/*c*/{\"themes\"://x\n[]/**/,\"cursors\":[\"a\"/***/]}//end",
        "{\"themes\":[]}/* open",
        "{\"themes\":[]} /",
        "{\"themes\":[]}//",
        "{\"themes\":[]}/x",
        std::string("{\"themes\":[]}\0garbage", 22),
        std::string("{\"themes\":[\0]}", 14),
        std::string("//a\0{\"themes\":[]}", 17),
        std::string("/*\0*/{\"themes\":[]}", 18),
        std::string("{\"themes\":[],\"cursors\":[\"a\0b\"]}", 30),
        // Strings.
        R"({"themes":[],"cursors":["\u4e2d\u6587","\ud83d\ude00","\u00e9","a\/b","\u0041\u0000","tab\t"," \n x \r"]})",
        R"({"themes":[],"cursors":["\ud83d"]})",
        R"({"themes":[],"cursors":["\ude00"]})",
        R"({"themes":[],"cursors":["\ud83d\u0041"]})",
        R"({"themes":[],"cursors":["\x"]})",
        R"({"themes":[],"cursors":["\u12G4"]})",
        "{\"themes\":[],\"cursors\":[\"a\tb\"]}",
        R"({"th\u0065mes":[{"n\u0061me":"g","list":[{"name":"x"}]}]})",
        // Names no file may have, long names and spaces around them.
        R"({"themes":[{"name":"  ","list":[{"name":"x"}]},{"name":"g","list":[{"name":".."},{"name":"a/b"},{"name":"con.txt"},{"name":" ok "},"s",1]}]})",
        R"({"themes":[],"cursors":[")" + std::string(300, 'a') + R"(",")" +
            [] {
                std::string s;
                for (int i = 0; i < 130; ++i)
                    s += "中";
                return s;
            }() +
            R"("]})",
        // Broken structure.
        R"({"themes":[],})",
        R"({"themes":[1,]})",
        R"({"themes" []})",
        R"({"themes":[01]})",
        R"({"themes":[-]})",
        R"({"themes":[1.]})",
        R"({"themes":[.5]})",
        R"({"themes":[+1]})",
        R"({"themes":[tru]})",
        R"({"themes":[nulll]})",
        R"({"themes":[]}})",
        R"({"themes":[]]})",
        R"({"themes":[],"a":{"b":[1,{"c":2,}]}})",
        R"({"themes":[],"a":{"b":[1,{"c":2}]}})",
        R"({themes:[]})",
        "[]",
        "\"x\"",
        "",
        "  ",
        "{",
        "{\"themes\":[]} x",
        "{\"themes\":[]}{}",
        // Deep nesting in a member the rows do not use.
        R"({"themes":[],"x":)" + std::string(20000, '[') + std::string(20000, ']') + "}",
        R"({"themes":[],"x":)" + std::string(20000, '[') + std::string(19999, ']') + "}",
    };
    return docs;
}

// Byte-level documents: code page 936 bytes no UTF-8 text gives.
const std::vector<std::string>& RawDocuments() {
    static const std::vector<std::string> docs = {
        "{\"themes\":[],\"cursors\":[\"a\x81\"]}",         // a lead before the quote
        "{\"themes\":[],\"cursors\":[\"a\x81\\\"]}",       // a pair whose trail is '\'
        "{\"themes\":[],\"cursors\":[\"\x81\\n\",\"b\"]}", // the same with a character after it
        "{\"themes\":[],\"cursors\":[\"\xa2\xa1\\n\"]}",
        "{\"themes\":[],\"cursors\":[\"\x80\xff\x81\x30x\"]}",
        "{\"themes\":[],\"cursors\":[\"\xa1\xa1x\xa1\"]}",
        "{\"themes\":[]}\x81",
        "{\"themes\":[]}\x81/",
        "\xa1\xa1{\"themes\":[]}",
        Bom + Bom + "{\"themes\":[],\"cursors\":[\"a\"]}",
        Bom + "\xEF\xBB{\"themes\":[]}",
        Bom + "{\"themes\":[],\"cursors\":[\"\xC0\x80\",\"\xED\xA0\x80\",\"\xF4\x90\x80\x80\","
              "\"\xE4\xB8\"]}",
        Bom + "{\"themes\":[],\"cursors\":[\"\xF0\x9F\x98\x80\",\"\xC3\xA9\",\"\xE4\xB8\xAD\"]}",
    };
    return docs;
}

TEST(CatalogReader, GivesTheRowsOfAJsonTreeReaderForTrickyDocuments) {
    for (const std::string& doc : Documents()) {
        const std::string cp936 = Utf8ToCp936(doc);
        EXPECT_EQ(Ours(cp936), ReferenceCatalog(cp936)) << doc;
        const std::string utf8 = Bom + doc;
        EXPECT_EQ(Ours(utf8), ReferenceCatalog(utf8)) << doc;
    }
    for (const std::string& doc : RawDocuments())
        EXPECT_EQ(Ours(doc), ReferenceCatalog(doc)) << doc;
}

TEST(CatalogReader, GivesTheRowsOfAJsonTreeReaderForMutatedDocuments) {
    std::vector<std::string> seeds;
    for (const std::string& doc : Documents())
        if (doc.size() < 2000) {
            seeds.push_back(Utf8ToCp936(doc));
            seeds.push_back(Bom + doc);
        }
    for (const std::string& doc : RawDocuments())
        seeds.push_back(doc);
    const std::string pieces[] = {"\"",
                                  "\\",
                                  "{",
                                  "}",
                                  "[",
                                  "]",
                                  ",",
                                  ":",
                                  "/",
                                  "*",
                                  std::string(1, '\0'),
                                  "\x81",
                                  "\xa1",
                                  "\xff",
                                  "\x80",
                                  "\xe4",
                                  "0",
                                  "-",
                                  "e",
                                  ".",
                                  "n",
                                  "t",
                                  " ",
                                  "\\u",
                                  "\"name\":",
                                  "\"list\":[",
                                  "中",
                                  "1e999"};
    std::mt19937 random(29);
    int differences = 0;
    for (int run = 0; run < 30000 && differences < 5; ++run) {
        std::string doc = seeds[random() % seeds.size()];
        for (int edits = 1 + random() % 3; edits > 0; --edits) {
            const std::size_t at = doc.empty() ? 0 : random() % (doc.size() + 1);
            const std::string& piece = pieces[random() % std::size(pieces)];
            switch (random() % 3) {
            case 0:
                doc.insert(at, piece);
                break;
            case 1:
                doc.erase(at, 1 + random() % 4);
                break;
            default:
                doc.replace(at, 1, piece);
                break;
            }
        }
        const std::string expected = ReferenceCatalog(doc);
        const std::string got = Ours(doc);
        if (got != expected) {
            ++differences;
            ADD_FAILURE() << "document: " << ::testing::PrintToString(doc) << "\nours:\n"
                          << got << "reference:\n"
                          << expected;
        }
    }
}

TEST(CatalogReader, CodePageRunsDecodeAsTheWholeTextDoes) {
    const unsigned char alphabet[] = {0x00, 0x0A, 0x22, 0x30, 0x40, 0x41, 0x5C, 0x7E, 0x7F, 0x80,
                                      0x81, 0xA0, 0xA1, 0xA2, 0xA8, 0xAA, 0xD7, 0xF8, 0xFE, 0xFF};
    std::mt19937 random(936);
    for (int run = 0; run < 100000; ++run) {
        std::string text;
        for (int n = random() % 10; n > 0; --n)
            text += static_cast<char>(random() % 4 ? alphabet[random() % std::size(alphabet)]
                                                   : random() % 256);
        std::string decoded;
        for (std::size_t i = 0; i < text.size();) {
            if (static_cast<unsigned char>(text[i]) < 0x80)
                decoded += text[i++];
            else
                i += AppendCp936Run(decoded, std::string_view(text).substr(i));
        }
        ASSERT_EQ(decoded, Cp936ToUtf8(text)) << ::testing::PrintToString(text);
    }
}

} // namespace
} // namespace velmora::test
