// kestrin-names driven with whole command lines, in process, over fonts built
// in a scratch folder: what it prints, its exit status, and which files it
// wrote (every other file must keep every byte).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Runner.h"
#include "SfntBuilder.h"
#include "TestFiles.h"

using namespace testsupport;

namespace {

class InFolder {
  public:
    explicit InFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

Bytes head() {
    Bytes bytes = patternBytes(54, 9);
    setU32(bytes, 4, 0x00018000);  // fontRevision 1.5
    return bytes;
}

// Family, subfamily, full name, PostScript name on Macintosh Roman English
// and Windows Unicode English, keeping every rule the checks know.
Bytes font(const std::string& family, const std::string& postScript) {
    std::vector<TestName> names;
    const std::pair<std::uint16_t, std::string> texts[] = {
        {1, family}, {2, "Regular"}, {4, family + " Regular"}, {5, "Version 1.5"}, {6, postScript}};
    for (const auto& [id, text] : texts) {
        names.push_back({1, 0, 0, id, bytesOf(text)});
    }
    for (const auto& [id, text] : texts) {
        names.push_back({3, 1, 0x409, id, utf16be(text)});
    }
    return buildFont({{"head", head()}, {"name", buildNameTable(names)}});
}

using Files = std::map<std::string, Bytes>;

Files filesIn(const std::filesystem::path& folder) {
    Files files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(folder).string()] = readFileBytes(entry.path());
        }
    }
    return files;
}

const std::string kOldList =
    "a.ttf:\n"
    "  1  0 0x0000     1  Old Sans\n"
    "  1  0 0x0000     2  Regular\n"
    "  1  0 0x0000     4  Old Sans Regular\n"
    "  1  0 0x0000     5  Version 1.5\n"
    "  1  0 0x0000     6  OldSans-Regular\n"
    "  3  1 0x0409     1  Old Sans\n"
    "  3  1 0x0409     2  Regular\n"
    "  3  1 0x0409     4  Old Sans Regular\n"
    "  3  1 0x0409     5  Version 1.5\n"
    "  3  1 0x0409     6  OldSans-Regular\n";

struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string output;                     // exactly; "*" followed by a text: contains that text
    std::string errors;                     // a part of the error stream; empty: nothing there
    std::vector<std::string> written = {};  // files that differ or are new afterwards
    std::string after = {};                 // list --id 1-6 of the first written file, if given
};

TEST(KestrinNamesCommandLine, OutputStatusAndFilesWritten) {
    const std::string one = "1 file changed, 0 unchanged, 0 failed\n";
    const Case cases[] = {
        // The command line itself: nothing read, nothing written, status 2.
        {{}, 2, "", "no command given"},
        {{"frobnicate", "a.ttf"}, 2, "", "unknown command 'frobnicate'"},
        {{"set", "1"}, 2, "", "set needs ID TEXT"},
        {{"set", "1", "X"}, 2, "", "no font given"},
        {{"set", "x1", "X", "a.ttf"}, 2, "", "'x1' is no name ID"},
        {{"set", "1", "", "a.ttf"}, 2, "", "the text is empty"},
        {{"delete", "a.ttf"}, 2, "", "delete needs at least one of --id"},
        {{"list", "--id", "5-2", "a.ttf"}, 2, "", "invalid value '5-2' for --id"},
        {{"list", "--dry-run", "a.ttf"}, 2, "", "list writes no font"},
        {{"set", "1", "X", "--json", "a.ttf"}, 2, "", "--json is for list"},
        {{"list", "--font", "0", "a.ttf"}, 2, "", "invalid value '0' for --font"},
        {{"list", "--bogus", "a.ttf"}, 2, "", "unknown option --bogus"},
        {{"import", "missing.json", "a.ttf"}, 2, "", "cannot read missing.json"},
        {{"import", "broken.json", "a.ttf"}, 2, "", "broken.json: line 2: expected ']'"},
        {{"--version"}, 0, "kestrin-names " FONTTOOLS_VERSION "\n", ""},
        {{"list", "-h"}, 0, "*usage: kestrin-names COMMAND [OPTIONS] FONT...", ""},

        // Reading: list and its filters, JSON, check.
        {{"list", "--id=1-6", "a.ttf"}, 0, kOldList, ""},
        {{"list", "-p", "win", "-i", "1,6", "a.ttf", "sub"},
         0,
         "a.ttf:\n  3  1 0x0409     1  Old Sans\n  3  1 0x0409     6  OldSans-Regular\n\n"
         "sub/a.ttf:\n  3  1 0x0409     1  Other Sans\n  3  1 0x0409     6  OtherSans-Regular\n",
         ""},
        {{"list", "-r", "-l", "0x409", "-i", "1", "sub"},
         0,
         "sub/a.ttf:\n  3  1 0x0409     1  Other Sans\n\n"
         "sub/deeper/c.OTF:\n  3  1 0x0409     1  Deep Sans\n",
         ""},
        {{"list", "--json", "--id", "1", "--platform", "3", "a.ttf"},
         0,
         "[\n  {\"file\": \"a.ttf\", \"names\": [\n"
         "    {\"platformID\": 3, \"platEncID\": 1, \"langID\": 1033, \"nameID\": 1, "
         "\"string\": \"Old Sans\"}\n  ]}\n]\n",
         ""},
        {{"check", "a.ttf"}, 0, "", ""},
        {{"check", "-p", "3", "hostile.ttf"},
         1,
         "hostile.ttf: trailing-blanks: name 6 (3/1/0x0409)\n"
         "hostile.ttf: postscript-characters: name 6 (3/1/0x0409): holds a blank\n"
         "hostile.ttf: postscript-differs: name 6 (3/1/0x0409): another record has \"Bad-Name\"\n",
         ""},
        {{"list", "--font", "2", "a.ttf"},
         1,
         "",
         "a.ttf: there is no font 2 (the file holds 1 font)"},

        // Writing.
        {{"set", "1", "New Sans", "a.ttf"},
         0,
         "",
         one,
         {"a.ttf"},
         "a.ttf:\n"
         "  1  0 0x0000     1  New Sans\n"
         "  1  0 0x0000     2  Regular\n"
         "  1  0 0x0000     4  Old Sans Regular\n"
         "  1  0 0x0000     5  Version 1.5\n"
         "  1  0 0x0000     6  OldSans-Regular\n"
         "  3  1 0x0409     1  New Sans\n"
         "  3  1 0x0409     2  Regular\n"
         "  3  1 0x0409     4  Old Sans Regular\n"
         "  3  1 0x0409     5  Version 1.5\n"
         "  3  1 0x0409     6  OldSans-Regular\n"},
        {{"set", "3", "Unique", "a.ttf"}, 0, "", "0 files changed, 1 unchanged, 0 failed\n"},
        {{"set", "1", "Old Sans", "a.ttf"}, 0, "", "0 files changed, 1 unchanged, 0 failed\n"},
        {{"set", "3", "Unique", "--add", "-p", "3", "a.ttf"},
         0,
         "",
         one,
         {"a.ttf"},
         "a.ttf:\n"
         "  1  0 0x0000     1  Old Sans\n"
         "  1  0 0x0000     2  Regular\n"
         "  1  0 0x0000     4  Old Sans Regular\n"
         "  1  0 0x0000     5  Version 1.5\n"
         "  1  0 0x0000     6  OldSans-Regular\n"
         "  3  1 0x0409     1  Old Sans\n"
         "  3  1 0x0409     2  Regular\n"
         "  3  1 0x0409     3  Unique\n"
         "  3  1 0x0409     4  Old Sans Regular\n"
         "  3  1 0x0409     5  Version 1.5\n"
         "  3  1 0x0409     6  OldSans-Regular\n"},
        {{"set", "1", "日本", "a.ttf"},
         1,
         "",
         "a.ttf: name 1 (1/0/0x0000) cannot be encoded in Mac OS Roman"},
        {{"delete", "-p", "mac", "-q", "a.ttf"},
         0,
         "",
         "",
         {"a.ttf"},
         "a.ttf:\n"
         "  3  1 0x0409     1  Old Sans\n"
         "  3  1 0x0409     2  Regular\n"
         "  3  1 0x0409     4  Old Sans Regular\n"
         "  3  1 0x0409     5  Version 1.5\n"
         "  3  1 0x0409     6  OldSans-Regular\n"},
        {{"rename-family", "New Serif", "-n", "a.ttf"},
         0,
         "--- a.ttf\n+++ a.ttf\n"
         "@@ -1,10 +1,10 @@\n"
         "-  1  0 0x0000     1  Old Sans\n"
         "+  1  0 0x0000     1  New Serif\n"
         "   1  0 0x0000     2  Regular\n"
         "-  1  0 0x0000     4  Old Sans Regular\n"
         "+  1  0 0x0000     4  New Serif Regular\n"
         "   1  0 0x0000     5  Version 1.5\n"
         "-  1  0 0x0000     6  OldSans-Regular\n"
         "-  3  1 0x0409     1  Old Sans\n"
         "+  1  0 0x0000     6  NewSerif-Regular\n"
         "+  3  1 0x0409     1  New Serif\n"
         "   3  1 0x0409     2  Regular\n"
         "-  3  1 0x0409     4  Old Sans Regular\n"
         "+  3  1 0x0409     4  New Serif Regular\n"
         "   3  1 0x0409     5  Version 1.5\n"
         "-  3  1 0x0409     6  OldSans-Regular\n"
         "+  3  1 0x0409     6  NewSerif-Regular\n",
         "1 file would change, 0 unchanged, 0 failed\n"},
        {{"replace", "Regular", "Book", "--id", "4", "-o", "out", "a.ttf"},
         0,
         "",
         one,
         {"out/a.ttf"},
         "out/a.ttf:\n"
         "  1  0 0x0000     1  Old Sans\n"
         "  1  0 0x0000     2  Regular\n"
         "  1  0 0x0000     4  Old Sans Book\n"
         "  1  0 0x0000     5  Version 1.5\n"
         "  1  0 0x0000     6  OldSans-Regular\n"
         "  3  1 0x0409     1  Old Sans\n"
         "  3  1 0x0409     2  Regular\n"
         "  3  1 0x0409     4  Old Sans Book\n"
         "  3  1 0x0409     5  Version 1.5\n"
         "  3  1 0x0409     6  OldSans-Regular\n"},
        // A folder: its fonts only; one that fails leaves the others going.
        // A file reached twice is edited once.
        {{"set", "5", "Version 2.0", "-r", ".", "sub"},
         1,
         "",
         "./bad.ttf: invalid ttf file: This is a WOFF2 web font, not a TrueType or OpenType "
         "font.\n3 files changed, 1 unchanged, 1 failed\n",
         {"a.ttf", "sub/a.ttf", "sub/deeper/c.OTF"}},
        {{"set", "5", "Version 2.0", "-o", "out", "-r", "sub"},
         0,
         "",
         "2 files changed, 0 unchanged, 0 failed\n",
         {"out/a.ttf", "out/deeper/c.OTF"}},
        {{"rename-family", "X", "-o", "out", "a.ttf", "sub/a.ttf"},
         1,
         "",
         "out/a.ttf was written for an earlier font of the same name",
         {"out/a.ttf"}},

        // import: the names the JSON holds for the font, exactly.
        {{"import", "same.json", "a.ttf"}, 0, "", "0 files changed, 1 unchanged, 0 failed\n"},
        {{"import", "edited.json", "a.ttf"},
         0,
         "",
         one,
         {"a.ttf"},
         "a.ttf:\n  1  0 0x0000     2  Regular\n  3  1 0x0409     1  Imported\n"},
        {{"import", "edited.json", "sub/deeper/c.OTF"},
         1,
         "",
         "sub/deeper/c.OTF: not in edited.json"},
        {{"import", "edited.json", "-p", "3", "a.ttf"},
         0,
         "",
         one,
         {"a.ttf"},
         "a.ttf:\n"
         "  1  0 0x0000     1  Old Sans\n"
         "  1  0 0x0000     2  Regular\n"
         "  1  0 0x0000     4  Old Sans Regular\n"
         "  1  0 0x0000     5  Version 1.5\n"
         "  1  0 0x0000     6  OldSans-Regular\n"
         "  3  1 0x0409     1  Imported\n"},
    };

    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += argument + ' ';
        }
        SCOPED_TRACE(shown);
        TempDir dir;
        InFolder in(dir.path());
        std::filesystem::create_directories("sub/deeper");
        writeFileBytes("a.ttf", font("Old Sans", "OldSans-Regular"));
        writeFileBytes("sub/a.ttf", font("Other Sans", "OtherSans-Regular"));
        writeFileBytes("sub/deeper/c.OTF", font("Deep Sans", "DeepSans-Regular"));
        writeFileBytes("sub/notes.txt", bytesOf("not a font"));
        writeFileBytes("sub/.ttf", bytesOf("a hidden file, with no extension"));
        writeFileBytes("bad.ttf", bytesOf("wOF2 and then nothing a font needs"));
        {
            std::vector<TestName> names = {{1, 0, 0, 6, bytesOf("Bad-Name")},
                                           {3, 1, 0x409, 6, utf16be("Bad Name ")}};
            writeFileBytes("hostile.ttf",
                           buildFont({{"head", head()}, {"name", buildNameTable(names)}}));
        }
        writeFileBytes("broken.json", bytesOf("[\n{\"file\": \"a.ttf\"}}"));
        {
            names::TextOut json, ignored;
            ASSERT_EQ(names::runNames({"export", "a.ttf"}, json, ignored, false), 0);
            writeFileBytes("same.json", bytesOf(json.str()));
        }
        writeFileBytes("edited.json",
                       bytesOf("{\"file\": \"elsewhere/a.ttf\", \"names\": [\n"
                               "  {\"platformID\": 3, \"platEncID\": 1, \"langID\": 1033, "
                               "\"nameID\": 1, \"string\": \"Imported\"},\n"
                               "  {\"platformID\": 1, \"platEncID\": 0, \"langID\": 0, "
                               "\"nameID\": 2, \"string\": \"Regular\"}]}\n"));
        const Files before = filesIn(dir.path());

        names::TextOut out, err;
        EXPECT_EQ(names::runNames(c.arguments, out, err, false), c.status);
        if (!c.output.empty() && c.output.front() == '*') {
            EXPECT_NE(out.str().find(c.output.substr(1)), std::string::npos) << out.str();
        } else {
            EXPECT_EQ(out.str(), c.output);
        }
        if (c.errors.empty()) {
            EXPECT_EQ(err.str(), "");
        } else {
            EXPECT_NE(err.str().find(c.errors), std::string::npos) << err.str();
        }

        const Files after = filesIn(dir.path());
        std::vector<std::string> written;
        for (const auto& [name, bytes] : after) {
            const auto old = before.find(name);
            if (old == before.end() || old->second != bytes) {
                written.push_back(name);
            }
        }
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(after.size(), before.size() + (written.size() - [&] {
                                    std::size_t kept = 0;
                                    for (const auto& name : written) {
                                        kept += before.count(name);
                                    }
                                    return kept;
                                }()));
        if (!c.after.empty()) {
            names::TextOut listed, ignored;
            EXPECT_EQ(
                names::runNames({"list", "--id", "1-6", c.written.front()}, listed, ignored, false),
                0);
            EXPECT_EQ(listed.str(), c.after);
        }
    }
}

}  // namespace
