// Table names as the server compares them: exactly on a server with
// lower_case_table_names=0 (where `People` and `people` are two tables),
// without regard to case on one that folds them. The test asks the server
// it runs against; CI runs it against one of each.
#include "con_db.hpp"
#include "con_help.hpp"
#include "con_proc.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace std::chrono_literals;

texts sorted(texts names)
{
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ConsoleCase, AnExistingTableIsMetAsTheServerComparesNames)
{
    RVL_NEED_TEST_SERVER();
    const bool folded = test_connection().rows("SELECT @@lower_case_table_names")[0][0] != "0";
    SCOPED_TRACE(folded ? "names folded" : "names exact");
    const server_settings s = *test_server_settings();
    for (const std::string mode : {"1", "2"}) {
        SCOPED_TRACE("mode " + mode);
        scratch_db db("case" + mode);
        db.create();
        db.execute("CREATE TABLE people (id INT PRIMARY KEY, name VARCHAR(10))");
        db.execute("INSERT INTO people VALUES (7, 'kept'), (8, 'kept')");
        test_dir dir;
        test_dir::write(dir.file("people.csv"), "id,name\n1,ab\n2,x\n");
        // Another run's lock on `people` holds up a run into the same table,
        // never one into another.
        test_connection other;
        const std::string lock = "'ravelin:" + db.name() + ".people'";
        if (!folded) {
            ASSERT_EQ(other.rows("SELECT GET_LOCK(" + lock + ", 0)")[0][0], "1");
        }
        morvante_process run(dir, {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn",
                                   "--tab_name=People", "--host=127.0.0.1", "--port=" + std::to_string(s.port),
                                   "--user=" + s.user, "--pswd=" + s.password, "--dest=" + db.name(),
                                   "--mode=" + mode});
        ASSERT_EQ(run.wait(60s), std::optional<int>(0)) << run.out() << run.err();
        const texts kept = {"7|kept", "8|kept"};
        const texts new_rows = {"1|ab", "2|x"};
        if (!folded) {
            // A table of its own beside the unrelated `people`.
            EXPECT_EQ(sorted(db.tables()), (texts{"People", "people"}));
            EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), kept);
            EXPECT_EQ(db.rows("SELECT id, name FROM `People` ORDER BY id"), new_rows);
            continue;
        }
        // That table: replaced, or appended to.
        EXPECT_EQ(db.tables(), (texts{"people"}));
        EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"),
                  mode == "1" ? new_rows : (texts{"1|ab", "2|x", "7|kept", "8|kept"}));
    }
}
