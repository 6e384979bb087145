// The short soak of production runs (support/production_soak_posix.h): about twenty seconds of
// rounds, faults, kills and two runs sharing one serial file and one log, then the books
// checked from the chips, the serial file and the log. The seed is printed; VORLAND_SOAK_SEED
// runs one again. bench/production_soak_bench runs the long form.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/native/support/cli_process_posix.h"
#include "tests/native/support/production_soak_posix.h"

TEST(CliProductionSoak, NoNumberOnTwoChipsAndOneTrueRecordPerChip) {
    const char* given = std::getenv("VORLAND_SOAK_SEED");
    const unsigned seed =
        given != nullptr ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                         : std::random_device{}();
    std::printf("production soak seed %u (VORLAND_SOAK_SEED=%u repeats it)\n", seed, seed);
    ProductionSoak soak(cli_process::kCli, cli_process::kSim, seed);
    ASSERT_TRUE(soak.ready());
    soak.Run(12);
    const std::string broken = soak.Check();
    const ProductionSoak::Counts& c = soak.counts();
    std::printf("%d rounds in %d runs (%d in pairs), killed %d in and %d between rounds, %d full "
                "disks, %d Enter typed ahead; %d chips, %d stamped, %d verified, %d failed, "
                "%d interrupted, %d skipped; next %llu, %zu given back\n",
                c.rounds, c.runs, c.pairs, c.killedInRound, c.killedAtPrompt, c.diskFull,
                c.typedAhead, c.chips, c.stampedChips, c.goodRecords, c.failedRecords,
                c.interruptedRecords, c.skipped, static_cast<unsigned long long>(c.next),
                c.returned);
    EXPECT_EQ(broken, "") << "seed " << seed;
    EXPECT_GT(c.stampedChips, 10) << "seed " << seed;
}
