// The run history's JSON lines: what is written, and that every byte comes back.
#include "timetable/json_line.h"

#include <gmock/gmock.h>

#include <string>

namespace morrowset::json {
namespace {

TEST(JsonLine, WritesFlatObjectsWithEscapes) {
    LineWriter line;
    line.string("command", "echo \"a\\b\"\t\x01").number("row", 3).null("due").numberOrNull("pid", std::nullopt);
    EXPECT_EQ(line.line(), "{\"command\":\"echo \\\"a\\\\b\\\"\\t\\u0001\",\"row\":3,\"due\":null,\"pid\":null}\n");
}

// Valid UTF-8 stays as it is; a byte that belongs to no valid sequence becomes a lone low
// surrogate escape (\udc80 to \udcff), and reading gives the very bytes back.
TEST(JsonLine, EveryByteOfACommandLineComesBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"caf\xE9", "\"caf\\udce9\""},                      // Latin-1
        {"\xC3", "\"\\udcc3\""},                            // a sequence cut short
        {"\xC0\xAF", "\"\\udcc0\\udcaf\""},                 // an overlong "/"
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},      // an encoded surrogate
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},  // past U+10FFFF
    };
    for (const auto& [bytes, json] : cases) {
        EXPECT_EQ(json::quoted(bytes), json);
        const auto back = readLine("{\"c\":" + json + "}");
        ASSERT_TRUE(back) << json;
        EXPECT_EQ(back->at("c").bytes, bytes) << json;
    }
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(readLine("{\"c\":" + json::quoted(all) + "}")->at("c").bytes, all);
}

TEST(JsonLine, ReadsWhatOtherWritersWrite) {
    const auto object = readLine(R"( { "a" : "x\/\u00e9\ud83d\ude00" , "n":-12, "z": null } )");
    ASSERT_TRUE(object);
    EXPECT_EQ(object->at("a").bytes, "x/\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(object->at("n").number, -12);
    EXPECT_EQ(object->at("z").kind, Value::Kind::Null);
}

TEST(JsonLine, ADamagedLineIsNoObject) {
    for (const char* damaged : {"", "{", "{\"a\":\"b\"", "{\"a\":\"b\"}x", "{\"a\":tru}", "{\"a\":{}}", "{\"a\":[1]}",
                                "{\"a\":\"\\q\"}", "{\"a\":\"\\ud800\"}", "{\"a\":\"\\udc10\"}", "{\"a\":1.5}",
                                "{\"a\":12345678901234567890}", "{\"a\" \"b\"}", "garbage", "{\"a\":\"tab\there\"}"})
        EXPECT_FALSE(readLine(damaged)) << damaged;
}

}  // namespace
}  // namespace morrowset::json
