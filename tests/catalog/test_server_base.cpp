// The catalogue server: --server, then $VELMORA_SERVER, then the built-in base.
#include "catalog/ServerBase.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

TEST(ServerBase, TheOptionWinsOverTheVariableWhichWinsOverTheBuiltInBase) {
    struct Case {
        std::optional<std::string> Option, Variable;
        std::optional<std::string> Chosen; // nothing: refused
    } cases[] = {
        {std::nullopt, std::nullopt, VELMORA_SERVER_BASE},
        {std::nullopt, "", VELMORA_SERVER_BASE},
        {std::nullopt, "https://themes.example.net/", "https://themes.example.net"},
        {"http://127.0.0.1:9000//", "https://ignored.example", "http://127.0.0.1:9000"},
        {"HTTP://Host:1/path", std::nullopt, "HTTP://Host:1/path"},
        {"127.0.0.1:18080", std::nullopt, std::nullopt},
        {"ftp://host", std::nullopt, std::nullopt},
        {"http://", std::nullopt, std::nullopt},
        {"http:///path", std::nullopt, std::nullopt},
        {"http://a b", std::nullopt, std::nullopt},
        {std::nullopt, "file:///etc", std::nullopt},
    };
    for (const Case& c : cases) {
        TScopedEnv variable(ServerVariable, c.Variable);
        std::string error;
        EXPECT_EQ(ChooseServerBase(c.Option, error), c.Chosen)
            << c.Option.value_or("-") << " / " << c.Variable.value_or("-");
        EXPECT_EQ(error.empty(), c.Chosen.has_value()) << error;
    }
}

} // namespace
} // namespace velmora::test
