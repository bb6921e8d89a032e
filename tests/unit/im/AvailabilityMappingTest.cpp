// Availability between the platform's numbers and the library's codes.

#include <gtest/gtest.h>

#include "Tesk/App/AvailabilityMapping.h"

TEST(AvailabilityMappingTest, LibraryCodesMapToThePlatformsFiveValues)
{
    const std::pair<int, int> table[] = {{2, 0}, {7, 0}, {10, 0}, {3, 2}, {4, 2}, {5, 2}, {6, 3},
                                         {0, 4}, {1, 4}, {8, 4}, {9, 4}, {11, 4}, {14, 4}, {99, 4}, {-1, 4}};
    for (const auto& [vexla, nylo] : table)
        EXPECT_EQ(VexlaToNyloAvailability(vexla), nylo) << "library code " << vexla;
}

TEST(AvailabilityMappingTest, PlatformValuesMapBackAndUnknownOnesReadAsUnknown)
{
    const std::pair<int, int> table[] = {{0, 2}, {2, 3}, {3, 6}, {4, 1}, {5, 8}, {1, 0}, {6, 0}, {-1, 0}};
    for (const auto& [nylo, vexla] : table)
        EXPECT_EQ(NyloToVexlaAvailability(nylo), vexla) << "platform value " << nylo;
}

TEST(AvailabilityMappingTest, EveryWantedAvailabilitySurvivesTheRoundTrip)
{
    for (int nylo : {0, 2, 3, 4})
        EXPECT_EQ(VexlaToNyloAvailability(NyloToVexlaAvailability(nylo)), nylo);
}
