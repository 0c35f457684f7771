// tavrixctl's socket protocol over the stand-in viewer object of its fuzz
// target: what the holder makes of a command's bytes, and the command's
// reading of the answer however it arrives; then the kept fuzz corpus.
#include "fuzz/FuzzTavrixctl.h"

#include "tavrixctlProtocol.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Answer {
    int status;
    std::string out, err;
};

Answer answer(const std::string& bytes) {
    std::vector<char> request(bytes.begin(), bytes.end());
    request.push_back('\x7f'); // the holder's spare byte, whatever it held
    tavrix_obj obj;
    ctl_output out = {}, err = {};
    int release = 0;
    Answer a;
    a.status = ctl_run_request(&obj, request.data(), bytes.size(), &out, &err, &release);
    a.out.assign(out.text ? out.text : "", out.used);
    a.err.assign(err.text ? err.text : "", err.used);
    std::free(out.text);
    std::free(err.text);
    return a;
}

} // namespace

TEST(TavrixctlProtocol, LastWordWithoutItsNulKeepsEveryByte) {
    // Sent by a client other than tavrixctl, which ends every word.
    EXPECT_EQ(answer(std::string("set\0FileName=a.agl", 18)).status, 0);
    const Answer a = answer(std::string("get\0FileName", 12));
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, "a.agl\n");
}

TEST(TavrixctlProtocol, CommandsThatAreNotCommandsAreRefusedWithAReason) {
    std::string many = "call";
    for (int i = 0; i < 300; ++i)
        many += std::string("\0x", 2);
    for (const std::string& bytes : {std::string(), std::string("\0", 1), many}) {
        const Answer a = answer(bytes);
        EXPECT_EQ(a.status, 1);
        EXPECT_FALSE(a.err.empty());
        EXPECT_TRUE(a.out.empty());
    }
    EXPECT_EQ(answer(many).err, "tavrixctl: a command has at most 255 words\n");
}

TEST(TavrixctlProtocol, ReplyIsReadTheSameInPiecesOfAnySize) {
    const std::string reply = std::string("\2out text\0err text", 18);
    for (size_t piece = 1; piece <= reply.size(); ++piece) {
        ctl_reply_reader r;
        ctl_reply_start(&r);
        std::string out, err;
        auto sink = +[](void* context, int to, const char* text, size_t length) {
            auto* both = static_cast<std::pair<std::string*, std::string*>*>(context);
            (to == 1 ? *both->first : *both->second).append(text, length);
        };
        std::pair<std::string*, std::string*> both(&out, &err);
        for (size_t at = 0; at < reply.size(); at += piece)
            ctl_reply_feed(&r, reply.data() + at, std::min(piece, reply.size() - at), sink, &both);
        EXPECT_EQ(ctl_reply_status(&r), 2);
        EXPECT_EQ(out, "out text");
        EXPECT_EQ(err, "err text");
    }
    // Cut short before the separator, or before anything: not a reply.
    ctl_reply_reader r;
    ctl_reply_start(&r);
    EXPECT_EQ(ctl_reply_status(&r), -1);
    ctl_reply_feed(
        &r, "\0abc", 4, +[](void*, int, const char*, size_t) {}, nullptr);
    EXPECT_EQ(ctl_reply_status(&r), -1);
}

TEST(TavrixctlProtocol, KeptFuzzInputsStillPass) {
    const std::filesystem::path dir =
        std::filesystem::path(TAVRIX_SOURCE_DIR) / "tests/data/fuzz/tavrixctl";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(fuzzTavrixctl(bytes.data(), bytes.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 0);
}
