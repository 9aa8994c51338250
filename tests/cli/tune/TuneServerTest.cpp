#include "cli/tune/TuneServer.h"

#include <gtest/gtest.h>

#include <set>

namespace kovra::cli {
namespace {

TEST(TuneServer, OnlyItsOwnHostOriginAndTokenAreServed) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(TuneServer::Allowed("127.0.0.1:8023", "", token, token, 8023));
    EXPECT_TRUE(TuneServer::Allowed("localhost:8023", "http://localhost:8023", token, token, 8023));
    EXPECT_TRUE(TuneServer::Allowed("127.0.0.1:8023", "http://127.0.0.1:8023", token, token, 8023));
    // Another token, none, or a server that has none.
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "", "0123456789abcdef0123456789abcdee", token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "", "", token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "", "", "", 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "", token.substr(1), token, 8023));
    // A name that only resolves here (a rebound DNS name), another port, no Host.
    EXPECT_FALSE(TuneServer::Allowed("attacker.example:8023", "", token, token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("localhost.attacker.example:8023", "", token, token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8024", "", token, token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("", "", token, token, 8023));
    // Another page of the browser, or one from a file.
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "http://attacker.example", token, token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "null", token, token, 8023));
    EXPECT_FALSE(TuneServer::Allowed("127.0.0.1:8023", "https://127.0.0.1:8023", token, token, 8023));
}

TEST(TuneServer, TokensAreLongAndFresh) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string t = TuneServer::NewToken();
        EXPECT_EQ(t.size(), 32u);
        EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 50u);
}

}  // namespace
}  // namespace kovra::cli
