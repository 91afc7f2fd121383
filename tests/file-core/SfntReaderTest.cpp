// The shared reader's collection side, which only break and the collection
// load reach; its rules for a single font are tested through Kestrin's
// model and the hostile corpus.
#include <gtest/gtest.h>

#include "SfntBuilder.h"
#include "SfntReader.h"
#include "TestFiles.h"

using namespace testsupport;

namespace {

// A 'ttcf' 2.0 header for `fonts` laid one after another, each member's
// table offsets moved to where it lands, and an 8-byte signature at the end.
Bytes signedCollection(const std::vector<Bytes>& fonts) {
    Bytes out;
    putU32(out, 0x74746366);
    putU32(out, 0x00020000);
    putU32(out, static_cast<std::uint32_t>(fonts.size()));
    std::size_t position = 12 + 4 * fonts.size() + 12;
    for (const Bytes& font : fonts) {
        putU32(out, static_cast<std::uint32_t>(position));
        position += font.size();
    }
    putU32(out, 0x44534947);  // 'DSIG'
    putU32(out, 8);
    putU32(out, static_cast<std::uint32_t>(position));
    for (const Bytes& font : fonts) {
        Bytes moved = font;
        for (std::size_t i = 0; i < getU16(font, 4); ++i) {
            setU32(moved, recordOffset(i) + 8,
                   static_cast<std::uint32_t>(getU32(font, recordOffset(i) + 8) + out.size()));
        }
        out.insert(out.end(), moved.begin(), moved.end());
    }
    out.insert(out.end(), 8, 0xEE);
    return out;
}

bool readFrom(const Bytes& bytes, filecore::CollectionHeader& header,
              std::vector<filecore::FontDirectory>& fonts, filecore::SfntError& error) {
    TempDir dir;
    writeFileBytes(dir / "c.ttc", bytes);
    filecore::InputFile file;
    filecore::FileError fileError;
    EXPECT_TRUE(file.open((dir / "c.ttc").string(), fileError));
    return filecore::readCollection(file, header, fonts, error);
}

TEST(SfntReader, ReadsAVersionTwoCollectionWithItsSignatureAndMembersWhereTheyLie) {
    const Bytes first = buildFont({{"head", patternBytes(54, 1)}, {"name", patternBytes(9, 2)}});
    const Bytes second = buildFont({{"glyf", patternBytes(20, 3)}}, 0x4F54544F);
    const Bytes bytes = signedCollection({first, second});
    filecore::CollectionHeader header;
    std::vector<filecore::FontDirectory> fonts;
    filecore::SfntError error;
    ASSERT_TRUE(readFrom(bytes, header, fonts, error)) << error.problem;
    EXPECT_EQ(header.version, filecore::kCollectionVersion2);
    EXPECT_EQ(header.size(), 12u + 8u + 12u);
    EXPECT_EQ(header.dsigTag, filecore::Tag("DSIG"));
    EXPECT_EQ(header.dsigLength, 8u);
    EXPECT_EQ(header.dsigOffset, bytes.size() - 8);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(fonts[1].at, header.size() + first.size());
    EXPECT_EQ(fonts[1].sfntVersion(), 0x4F54544Fu);
    ASSERT_EQ(fonts[1].tables.size(), 1u);
    EXPECT_EQ(fonts[1].tables[0].offset, fonts[1].at + 28);
    EXPECT_EQ(fonts[0].find(filecore::Tag("name")), std::size_t{1});

    // A member's problem names the member; the rules are those of a font.
    Bytes cut = signedCollection({first, buildFont({})});
    ASSERT_FALSE(readFrom(cut, header, fonts, error));
    EXPECT_EQ(error.kind, filecore::SfntError::Kind::Format);
    EXPECT_EQ(error.problem, "font #2: the font has no tables");
}

TEST(SfntReader, ProblemsBecomeSentences) {
    EXPECT_EQ(filecore::sentenceOf("tables 'head' and 'maxp' overlap"),
              "Tables 'head' and 'maxp' overlap.");
    EXPECT_EQ(filecore::sentenceOf("is a TrueType Collection, not a single font"),
              "This file is a TrueType Collection, not a single font.");
}

}  // namespace
