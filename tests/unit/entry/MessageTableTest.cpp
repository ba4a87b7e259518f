#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

#include "entry/MessageTable.h"

namespace OAuthClient {
namespace {

TEST(MessageTable, HoldsTheSecureProtocolMessageInEnglish) {
    MessageTable table(kLanguageEnglish);
    const wchar_t* text = table.Lookup(kMessageSecureProtocolOutOfRange);
    EXPECT_STREQ(text, L"The value of the secureProtocol property is out of range.");
    // The table hands out its static text, not a copy.
    EXPECT_EQ(table.Lookup(0), text);
}

TEST(MessageTable, AnswersUnknownIdsWithTheEmptyText) {
    MessageTable table(kLanguageEnglish);
    for (int id : {1, -1, 1000, INT_MIN, INT_MAX}) {
        const wchar_t* text = table.Lookup(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_EQ(text[0], L'\0') << id;
    }
}

TEST(MessageTable, FirstLookupsFromSeveralThreadsFillItOnce) {
    for (int round = 0; round < 20; ++round) {
        MessageTable table(kLanguageEnglish);
        std::vector<const wchar_t*> seen(8, nullptr);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < seen.size(); ++i) {
            threads.emplace_back([&table, &seen, i] { seen[i] = table.Lookup(0); });
        }
        for (std::thread& thread : threads) thread.join();
        for (const wchar_t* text : seen) EXPECT_EQ(text, SecureProtocolMessage(kLanguageEnglish));
    }
}

TEST(MessageTable, TheModuleTableIsEnglish) {
    EXPECT_STREQ(ModuleMessageTable().Lookup(0),
                 L"The value of the secureProtocol property is out of range.");
}

TEST(MessageTable, CompilesInAllTenLanguages) {
    // Written with escapes so that the expectation does not depend on the
    // encoding of this file.
    const struct {
        int code;
        const wchar_t* text;
    } cases[] = {
        {kLanguageJapanese,
         L"secureProtocol \u30D7\u30ED\u30D1\u30C6\u30A3\u5024\u304C\u7BC4\u56F2\u5916\u3067"
         L"\u3059\u3002"},
        {kLanguageDanish,
         L"V\u00E6rdien af secureProtocol ligger uden for det tilladte omr\u00E5de."},
        {kLanguageDutch,
         L"De waarde van de eigenschap SecureProtocol valt buiten het geldige bereik."},
        {kLanguageFrench,
         L"La valeur de la propri\u00E9t\u00E9 secureProtocol se situe hors des "
         L"limites."},
        {kLanguageGerman,
         L"Der Wert der SecureProtocol-Eigenschaft ist au\u00DFerhalb des "
         L"g\u00FCltigen Bereichs."},
        {kLanguageItalian,
         L"Il valore della propriet\u00E0 secureProtocol non \u00E8 compreso "
         L"nell'intervallo."},
        {kLanguageNorwegian, L"Verdien for egenskapen secureProtocol er utenfor omr\u00E5det."},
        {kLanguageSpanish, L"El valor de la propiedad secureProtocol est\u00E1 fuera de rango."},
        {kLanguageSwedish,
         L"V\u00E4rdet p\u00E5 egenskapen secureProtocol \u00E4r utanf\u00F6r intervallet."},
        {kLanguageEnglish, L"The value of the secureProtocol property is out of range."},
        // Codes outside 1 to 9 fall back on English.
        {10, L"The value of the secureProtocol property is out of range."},
        {-1, L"The value of the secureProtocol property is out of range."},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(SecureProtocolMessage(c.code), c.text) << c.code;
        MessageTable table(c.code);
        EXPECT_EQ(table.Lookup(0), SecureProtocolMessage(c.code)) << c.code;
    }
}

}  // namespace
}  // namespace OAuthClient
