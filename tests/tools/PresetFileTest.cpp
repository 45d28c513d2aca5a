// The .fxp/.fxb reader and writer and the big-endian helpers under them.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/render/BigEndian.h"
#include "tools/render/PresetFile.h"

namespace {

using namespace flanger::tools;

std::vector<uint8_t> bytesOf(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(BigEndian, ReadsAndWritesMostSignificantByteFirst) {
    std::vector<uint8_t> out;
    appendFloatBE(out, 1.0f);
    appendU32BE(out, 0x01020304u);
    appendI32BE(out, -2);
    EXPECT_EQ(out, bytesOf({0x3F, 0x80, 0, 0, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(readFloatBE(out, 0), 1.0f);
    EXPECT_EQ(readU32BE(out, 4), 0x01020304u);
    EXPECT_EQ(readI32BE(out, 8), -2);
    // The value one unit in the last place above 1.0 survives bit for bit.
    const auto above = readFloatBE(bytesOf({0x3F, 0x80, 0x00, 0x01}), 0);
    ASSERT_TRUE(above);
    EXPECT_GT(*above, 1.0f);
    std::vector<uint8_t> again;
    appendFloatBE(again, *above);
    EXPECT_EQ(again, bytesOf({0x3F, 0x80, 0x00, 0x01}));
}

TEST(BigEndian, RefusesReadsThatWouldPassTheEnd) {
    const auto four = bytesOf({1, 2, 3, 4});
    EXPECT_FALSE(readU32BE(four, 1));
    EXPECT_FALSE(readU32BE(four, 4));
    EXPECT_FALSE(readU32BE(four, SIZE_MAX - 1));
    EXPECT_FALSE(readFloatBE({}, 0));
}

PresetFile programChunk() {
    PresetFile p;
    p.kind = PresetKind::ProgramChunk;
    p.pluginId = 0x4B5A544D;
    p.pluginVersion = 1;
    p.programCount = 1;
    p.name = "Swirl";
    p.chunk.assign(112, 0xAB);
    return p;
}

PresetFile bankValues() {
    PresetFile p;
    p.kind = PresetKind::BankValues;
    p.pluginId = 0x46616B65;
    p.pluginVersion = 3;
    p.currentProgram = 1;
    p.programs = {{"Unity", {0.5f, 0.0f, 0.25f}}, {"Loud", {1.0f, 1.0f, 0.75f}}};
    p.programCount = 2;
    return p;
}

TEST(PresetFileTest, ProgramChunkFileHasTheCustomaryLayout) {
    const auto bytes = serializePresetFile(programChunk());
    ASSERT_EQ(bytes.size(), 60u + 112u);
    EXPECT_EQ(std::memcmp(bytes.data(), "CcnK", 4), 0);
    EXPECT_EQ(readU32BE(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "FPCh", 4), 0);
    EXPECT_EQ(readI32BE(bytes, 12), 1);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, "KZTM", 4), 0);
    EXPECT_EQ(readI32BE(bytes, 24), 1);
    EXPECT_EQ(std::memcmp(bytes.data() + 28, "Swirl\0", 6), 0);
    EXPECT_EQ(readU32BE(bytes, 56), 112u);
    EXPECT_EQ(bytes[60], 0xAB);
}

TEST(PresetFileTest, BankChunkFileHasTheCustomaryLayout) {
    PresetFile p = programChunk();
    p.kind = PresetKind::BankChunk;
    p.programCount = 8;
    p.currentProgram = 3;
    p.chunk.assign(896, 0x11);
    const auto bytes = serializePresetFile(p);
    ASSERT_EQ(bytes.size(), 160u + 896u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "FBCh", 4), 0);
    EXPECT_EQ(readI32BE(bytes, 24), 8);
    EXPECT_EQ(readI32BE(bytes, 28), 3);
    EXPECT_EQ(readU32BE(bytes, 156), 896u);
}

class PresetRoundTrip : public ::testing::TestWithParam<PresetKind> {};

TEST_P(PresetRoundTrip, WhatIsWrittenReadsBackUnchanged) {
    PresetFile p = GetParam() == PresetKind::BankValues || GetParam() == PresetKind::ProgramValues
                       ? bankValues()
                       : programChunk();
    p.kind = GetParam();
    if (p.kind == PresetKind::ProgramValues) {
        p.programs.resize(1);
        p.programCount = 1;
        p.name = p.programs[0].name;
    }
    if (p.kind == PresetKind::BankChunk) p.programCount = 8;
    const auto bytes = serializePresetFile(p);
    const auto parsed = parsePresetFile(bytes);
    ASSERT_TRUE(std::holds_alternative<PresetFile>(parsed)) << std::get<PresetError>(parsed).message;
    const PresetFile& q = std::get<PresetFile>(parsed);
    EXPECT_EQ(q.kind, p.kind);
    EXPECT_EQ(q.pluginId, p.pluginId);
    EXPECT_EQ(q.pluginVersion, p.pluginVersion);
    EXPECT_EQ(q.programCount, p.programCount);
    EXPECT_EQ(q.chunk, p.chunk);
    ASSERT_EQ(q.programs.size(), p.programs.size());
    for (size_t i = 0; i < p.programs.size(); ++i) {
        EXPECT_EQ(q.programs[i].name, p.programs[i].name);
        EXPECT_EQ(q.programs[i].values, p.programs[i].values);
    }
    if (q.isBank()) {
        EXPECT_EQ(q.currentProgram, p.currentProgram);
    } else {
        EXPECT_EQ(q.name, p.name);
    }
    EXPECT_EQ(serializePresetFile(q), bytes);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PresetRoundTrip,
                         ::testing::Values(PresetKind::ProgramChunk, PresetKind::ProgramValues,
                                           PresetKind::BankChunk, PresetKind::BankValues));

TEST(PresetFileTest, LongNamesAreCutToFitTheTerminator) {
    PresetFile p = programChunk();
    p.name = std::string(40, 'n');
    const auto parsed = parsePresetFile(serializePresetFile(p));
    ASSERT_TRUE(std::holds_alternative<PresetFile>(parsed));
    EXPECT_EQ(std::get<PresetFile>(parsed).name, std::string(27, 'n'));
}

TEST(PresetFileTest, RefusesEveryTruncationAndEveryExtension) {
    for (const PresetFile& p : {programChunk(), bankValues()}) {
        const auto bytes = serializePresetFile(p);
        for (size_t n = 0; n < bytes.size(); ++n) {
            const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_TRUE(std::holds_alternative<PresetError>(parsePresetFile(cut))) << "prefix of " << n;
        }
        auto longer = bytes;
        longer.push_back(0);
        EXPECT_TRUE(std::holds_alternative<PresetError>(parsePresetFile(longer)));
    }
}

TEST(PresetFileTest, RefusesInconsistentHeaders) {
    const auto good = serializePresetFile(programChunk());
    auto refuse = [](std::vector<uint8_t> bytes, size_t at, uint32_t value, const char* why) {
        bytes[at] = static_cast<uint8_t>(value >> 24);
        bytes[at + 1] = static_cast<uint8_t>(value >> 16);
        bytes[at + 2] = static_cast<uint8_t>(value >> 8);
        bytes[at + 3] = static_cast<uint8_t>(value);
        EXPECT_TRUE(std::holds_alternative<PresetError>(parsePresetFile(bytes))) << why;
    };
    refuse(good, 0, 0x43636E4C, "file magic");
    refuse(good, 4, static_cast<uint32_t>(good.size()), "byte size one too large");
    refuse(good, 4, 0xFFFFFFFFu, "byte size huge");
    refuse(good, 8, 0x46504368 + 1, "unknown kind");
    refuse(good, 24, 0, "program count 0");
    refuse(good, 24, 0x80000000u, "negative count");
    refuse(good, 56, 113, "chunk size past the end");
    refuse(good, 56, 0xFFFFFFFFu, "chunk size huge");

    const auto bank = serializePresetFile(bankValues());
    refuse(bank, 24, 3, "bank counts more programs than it holds");
    refuse(bank, 24, 0x7FFFFFFF, "bank count huge");
    refuse(bank, 156 + 4, 0xFFFFFFF0u, "inner program size huge");
    refuse(bank, 156 + 8, 0x46504368, "inner program is not a value program");
    refuse(bank, 156 + 24, 4, "inner parameter count does not match its size");
}

TEST(PresetFileTest, SurvivesEverySingleByteCorruption) {
    // Whatever the parser answers, it must not read outside the span (checked under ASan).
    for (const PresetFile& p : {programChunk(), bankValues()}) {
        const auto bytes = serializePresetFile(p);
        for (size_t i = 0; i < bytes.size(); ++i) {
            for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
                auto bad = bytes;
                bad[i] ^= flip;
                const auto parsed = parsePresetFile(bad);
                if (const auto* ok = std::get_if<PresetFile>(&parsed)) {
                    EXPECT_LE(ok->chunk.size(), bad.size());
                }
            }
        }
    }
}

}  // namespace
