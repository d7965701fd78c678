// Request resolution (tokens, categories, duplicates, unknown names, counter values, access)
// against a cash drawer block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/stat_request.h"
#include "stats_test_util.h"
#include "util/opos_constants.h"

namespace {

using Strings = std::vector<std::string>;

// Each record as "table.row", with "=value" when it carries one.
Strings Rows(const StatRequestResult& r) {
    Strings rows;
    for (const STATREQ& q : r.records) {
        std::string row = std::to_string(q.nTable) + "." + std::to_string(q.nRow);
        if (q.llCounter != 0) row += "=" + std::to_string(q.llCounter);
        if (q.szText[0] != '\0') row += "=" + std::string(q.szText);
        rows.push_back(row);
    }
    return rows;
}

const Strings kAllReversed = {"1.3", "1.2", "1.1", "1.0", "0.9", "0.8", "0.7",
                              "0.6", "0.5", "0.4", "0.3", "0.2", "0.1", "0.0"};

class StatsResolveTest : public ::testing::Test {
protected:
    // Rows of the resolved request, after checking its result and extended code.
    Strings Resolve(int32_t mode, const std::string& text, int32_t result = OPOS_SUCCESS,
                    int32_t extended = 0) {
        const StatRequestResult r = ResolveStatRequest(m_block.block, mode, text);
        EXPECT_EQ(result, r.result) << text;
        EXPECT_EQ(extended, r.extended) << text;
        return Rows(r);
    }
    statstest::TestBlock m_block;
};

TEST_F(StatsResolveTest, EmptyNamesAndCategoriesExpandInReverseTableOrder) {
    EXPECT_EQ(kAllReversed, Resolve(kStatModeRetrieve, ""));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1", "1.0"}), Resolve(kStatModeRetrieve, "U_"));
    // A trailing comma is an empty token: everything, and the ModelName before it is a
    // duplicate of the one inside.
    EXPECT_EQ(kAllReversed, Resolve(kStatModeRetrieve, "ModelName,"));
    // "M_" has no rows here; names and categories are case-sensitive.
    for (const char* nothing : {"M_", "u_", "drawergoodopencount"}) {
        EXPECT_EQ(Strings{}, Resolve(kStatModeRetrieve, nothing, OPOS_E_ILLEGAL));
    }
}

TEST_F(StatsResolveTest, NamesKeepTheirOrderAndTheLastDuplicateWins) {
    EXPECT_EQ((Strings{"1.2", "1.1"}),
              Resolve(kStatModeRetrieve, "DrawerGoodOpenCount, CommunicationErrorCount"));
    EXPECT_EQ((Strings{"1.3", "1.1", "1.0", "1.2"}),
              Resolve(kStatModeRetrieve, "U_,DrawerGoodOpenCount"));
    EXPECT_EQ((Strings{"0.3=X", "1.2=2"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=1,ModelName=X,DrawerGoodOpenCount=2"));
    // Unknown names are dropped; retrieve does not call that partial.
    EXPECT_EQ((Strings{"0.3"}), Resolve(kStatModeRetrieve, "Bogus,ModelName"));
    // A megabyte of categories names each statistic once, in the order of the last one.
    std::string many;
    for (int i = 0; i < 1 << 18; ++i) many += i % 2 ? "U_,,ModelName," : ",U_,";
    EXPECT_EQ((Strings{"0.9", "0.8", "0.7", "0.6", "0.5", "0.4", "0.2", "0.1", "0.0", "0.3", "1.3",
                       "1.2", "1.1", "1.0"}),
              Resolve(kStatModeRetrieve, many + "U_"));
}

TEST_F(StatsResolveTest, MalformedRequestsAreIllegalBeforeResolution) {
    for (const char* text : {"ModelName", "ModelName=a=b", "ModelName=a,", ""}) {
        const StatRequestResult r = ResolveStatRequest(m_block.block, kStatModeUpdate, text);
        EXPECT_EQ(OPOS_E_ILLEGAL, r.result) << text;
        EXPECT_FALSE(r.resolved) << text;
    }
    Resolve(kStatModeRetrieve, "DrawerGoodOpenCount=0", OPOS_E_ILLEGAL);
    Resolve(kStatModeReset, "DrawerGoodOpenCount=", OPOS_E_ILLEGAL);
    Resolve(3, "U_", OPOS_E_ILLEGAL);
}

TEST_F(StatsResolveTest, UpdateNormalisesCounterValuesAndDropsBadOnes) {
    EXPECT_EQ((Strings{"1.2=12"}), Resolve(kStatModeUpdate, " DrawerGoodOpenCount = +0012 "));
    const std::string nines(20, '9');
    EXPECT_EQ((Strings{"1.2=9223372036854775807"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=" + nines));
    for (const std::string& bad : {"-" + nines, std::string("12a"), std::string("+")}) {
        EXPECT_EQ(Strings{},
                  Resolve(kStatModeUpdate, "DrawerGoodOpenCount=" + bad, OPOS_E_ILLEGAL));
    }
    EXPECT_EQ((Strings{"1.3=3"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=x,DrawerFailedOpenCount=3",
                      OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    // Text values are taken as they are, cut to 128 bytes.
    EXPECT_EQ((Strings{"0.3=" + std::string(128, 'q')}),
              Resolve(kStatModeUpdate, "ModelName=" + std::string(200, 'q')));
}

TEST_F(StatsResolveTest, AccessRulesDropWhatCannotBeChanged) {
    Resolve(kStatModeUpdate, "HoursPoweredCount=1", OPOS_E_ILLEGAL);
    EXPECT_EQ((Strings{"1.2=4"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=4,HoursPoweredCount=1", OPOS_E_EXTENDED,
                      OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1", "0.9", "0.7", "0.6", "0.5", "0.4", "0.3"}),
              Resolve(kStatModeReset, "", OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1"}),
              Resolve(kStatModeReset, "U_", OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"0.9"}), Resolve(kStatModeReset, "InstallationDate"));
    Resolve(kStatModeReset, "Interface,UnifiedPOSVersion", OPOS_E_ILLEGAL);
}

}  // namespace
