// store_bench: our store against SQLite and LMDB on the same workload, in one
// run, so every figure can be read as a ratio.
//
// Put: create the store, put N records with random keys in one write session
// (one transaction), and close durably: our VmxClose, SQLite's COMMIT with
// synchronous=FULL, LMDB's synced commit plus mdb_env_sync. Get: open the
// closed store, get all N keys in another random order, reading every field,
// and close. Each iteration works in a fresh directory; the setup outside the
// measured part (writing the store to read) is paused out. The files are warm
// in the operating system's cache, for all three alike.

#include <lmdb.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "vbis4032.h"
#include "workload.h"

namespace {

namespace fs = std::filesystem;

// The N records, and the order in which the gets ask for their keys.
struct Workload {
    std::vector<std::string> keys;
    std::vector<bench::RegistryFields> fields;
    std::vector<std::size_t> get_order;
};

const Workload &WorkloadOf(std::size_t n) {
    static std::map<std::size_t, Workload> cache;
    auto found = cache.find(n);
    if (found != cache.end()) return found->second;
    Workload &workload = cache[n];
    bench::KeyGenerator keys;
    for (std::size_t i = 0; i < n; ++i) {
        workload.keys.push_back(keys.Next());
        workload.fields.push_back(bench::FieldsOf(i));
    }
    workload.get_order.resize(n);
    std::iota(workload.get_order.begin(), workload.get_order.end(), std::size_t{0});
    std::shuffle(workload.get_order.begin(), workload.get_order.end(), std::mt19937_64(7));
    return workload;
}

// --- Our store, through its C interface. ---

struct Vbis {
    static void Check(int16_t result, const char *what) {
        if (result != VMX_OK) {
            throw std::runtime_error(std::string(what) + ": " + VmxResultText(result));
        }
    }

    static std::string StorePath(const fs::path &dir) { return (dir / "registry").string(); }

    static void Write(const fs::path &dir, const Workload &workload) {
        const std::string path = StorePath(dir);
        const char *store = path.c_str();
        const char *layout = bench::kRegistryLayout;
        const int16_t key_kind = 2, reserved = 0, flags = 0, access = VMX_ACCESS_READWRITE;
        const int32_t page_size = 0;
        Check(VmxCreate(&store, &key_kind, &page_size, &reserved, &reserved, &layout), "VmxCreate");
        int32_t handle = 0;
        Check(VmxOpen(&store, &flags, &access, &handle), "VmxOpen");
        bench::RegistryBlock block;
        const int16_t mode = VMX_PUT_UPSERT;
        for (std::size_t i = 0; i < workload.keys.size(); ++i) {
            const char *key = workload.keys[i].c_str();
            block.Set(workload.fields[i]);
            int16_t result = VmxPut(&handle, &key, block.data(), &mode);
            if (result != VMX_OK) {
                VmxClose(&handle);
                Check(result, "VmxPut");
            }
        }
        Check(VmxClose(&handle), "VmxClose");
    }

    static void ReadAll(const fs::path &dir, const Workload &workload) {
        const std::string path = StorePath(dir);
        const char *store = path.c_str();
        const int16_t flags = 0, access = VMX_ACCESS_READ;
        int32_t handle = 0;
        Check(VmxOpen(&store, &flags, &access, &handle), "VmxOpen");
        bench::RegistryBlock block;
        for (std::size_t i : workload.get_order) {
            const char *key = workload.keys[i].c_str();
            int16_t result = VmxGet(&handle, &key, block.data());
            if (result != VMX_OK) {
                VmxClose(&handle);
                Check(result, "VmxGet");
            }
            benchmark::DoNotOptimize(*block.Name());
        }
        Check(VmxClose(&handle), "VmxClose");
    }
};

// --- SQLite: one table keyed by the key, prepared statements, durable. ---

struct Sqlite {
    static void Check(sqlite3 *db, int code, int expected, const char *what) {
        if (code != expected) {
            throw std::runtime_error(std::string(what) + ": " +
                                     (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code)));
        }
    }

    // Closes the connection and its statements on every path.
    struct Connection {
        sqlite3 *db = nullptr;
        sqlite3_stmt *statement = nullptr;
        ~Connection() {
            sqlite3_finalize(statement);
            sqlite3_close(db);
        }
        void Exec(const char *sql) {
            Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK, sql);
        }
        void Prepare(const char *sql) {
            Check(db, sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK, sql);
        }
        void Close() {
            sqlite3_finalize(statement);
            statement = nullptr;
            Check(db, sqlite3_close(db), SQLITE_OK, "sqlite3_close");
            db = nullptr;
        }
    };

    static std::string DbPath(const fs::path &dir) { return (dir / "registry.db").string(); }

    static void Write(const fs::path &dir, const Workload &workload) {
        Connection c;
        Check(nullptr,
              sqlite3_open_v2(DbPath(dir).c_str(), &c.db,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK, "sqlite3_open_v2");
        // The default rollback journal, with a sync at every commit like our
        // VmxClose.
        c.Exec("PRAGMA synchronous=FULL");
        c.Exec(
            "CREATE TABLE registry (key TEXT PRIMARY KEY, name TEXT, t2 TEXT, t3 TEXT, t4 TEXT,"
            " n1 INTEGER, n2 INTEGER, t7 TEXT) WITHOUT ROWID");
        c.Exec("BEGIN");
        c.Prepare("INSERT OR REPLACE INTO registry VALUES (?, ?, '', '', '', ?, ?, '')");
        for (std::size_t i = 0; i < workload.keys.size(); ++i) {
            const std::string &key = workload.keys[i];
            const bench::RegistryFields &fields = workload.fields[i];
            sqlite3_bind_text(c.statement, 1, key.data(), static_cast<int>(key.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(c.statement, 2, fields.name.data(),
                              static_cast<int>(fields.name.size()), SQLITE_STATIC);
            sqlite3_bind_int(c.statement, 3, fields.first);
            sqlite3_bind_int(c.statement, 4, fields.second);
            Check(c.db, sqlite3_step(c.statement), SQLITE_DONE, "INSERT");
            sqlite3_reset(c.statement);
        }
        c.Exec("COMMIT");
        c.Close();
    }

    static void ReadAll(const fs::path &dir, const Workload &workload) {
        Connection c;
        Check(nullptr, sqlite3_open_v2(DbPath(dir).c_str(), &c.db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK, "sqlite3_open_v2");
        // One read transaction, as LMDB's reads below and our read handle.
        c.Exec("BEGIN");
        c.Prepare("SELECT name, t2, t3, t4, n1, n2, t7 FROM registry WHERE key = ?");
        for (std::size_t i : workload.get_order) {
            const std::string &key = workload.keys[i];
            sqlite3_bind_text(c.statement, 1, key.data(), static_cast<int>(key.size()),
                              SQLITE_STATIC);
            Check(c.db, sqlite3_step(c.statement), SQLITE_ROW, "SELECT");
            for (int column : {0, 1, 2, 3, 6}) {
                benchmark::DoNotOptimize(sqlite3_column_text(c.statement, column));
            }
            benchmark::DoNotOptimize(sqlite3_column_int(c.statement, 4));
            benchmark::DoNotOptimize(sqlite3_column_int(c.statement, 5));
            sqlite3_reset(c.statement);
        }
        c.Exec("COMMIT");
        c.Close();
    }
};

// --- LMDB: one write transaction, a synced commit. ---

struct Lmdb {
    static void Check(int code, const char *what) {
        if (code != MDB_SUCCESS) {
            throw std::runtime_error(std::string(what) + ": " + mdb_strerror(code));
        }
    }

    // Room for the largest run; LMDB maps it but the file grows as used.
    static constexpr std::size_t kMapSize = std::size_t{4} << 30;

    struct Env {
        MDB_env *env = nullptr;
        MDB_txn *txn = nullptr;
        ~Env() {
            if (txn != nullptr) mdb_txn_abort(txn);
            if (env != nullptr) mdb_env_close(env);
        }
        void Open(const fs::path &dir, unsigned flags) {
            Check(mdb_env_create(&env), "mdb_env_create");
            Check(mdb_env_set_mapsize(env, kMapSize), "mdb_env_set_mapsize");
            Check(mdb_env_open(env, dir.c_str(), flags, 0644), "mdb_env_open");
        }
    };

    // The record as a value: each text as a 16-bit length and its bytes,
    // each integer in two bytes, like our store's own record encoding.
    static void Encode(const bench::RegistryFields &fields, std::string &value) {
        value.clear();
        auto text = [&value](const std::string &s) {
            uint16_t length = static_cast<uint16_t>(s.size());
            value.append(reinterpret_cast<const char *>(&length), sizeof length);
            value += s;
        };
        auto integer = [&value](int16_t n) {
            value.append(reinterpret_cast<const char *>(&n), sizeof n);
        };
        static const std::string kEmpty;
        text(fields.name);
        text(kEmpty);
        text(kEmpty);
        text(kEmpty);
        integer(fields.first);
        integer(fields.second);
        text(kEmpty);
    }

    static void Write(const fs::path &dir, const Workload &workload) {
        Env e;
        e.Open(dir, 0);
        Check(mdb_txn_begin(e.env, nullptr, 0, &e.txn), "mdb_txn_begin");
        MDB_dbi dbi;
        Check(mdb_dbi_open(e.txn, nullptr, 0, &dbi), "mdb_dbi_open");
        std::string value;
        for (std::size_t i = 0; i < workload.keys.size(); ++i) {
            Encode(workload.fields[i], value);
            MDB_val k{workload.keys[i].size(), const_cast<char *>(workload.keys[i].data())};
            MDB_val v{value.size(), value.data()};
            Check(mdb_put(e.txn, dbi, &k, &v, 0), "mdb_put");
        }
        int code = mdb_txn_commit(e.txn);
        e.txn = nullptr;
        Check(code, "mdb_txn_commit");
        Check(mdb_env_sync(e.env, 1), "mdb_env_sync");
    }

    static void ReadAll(const fs::path &dir, const Workload &workload) {
        Env e;
        e.Open(dir, MDB_RDONLY);
        Check(mdb_txn_begin(e.env, nullptr, MDB_RDONLY, &e.txn), "mdb_txn_begin");
        MDB_dbi dbi;
        Check(mdb_dbi_open(e.txn, nullptr, 0, &dbi), "mdb_dbi_open");
        for (std::size_t i : workload.get_order) {
            MDB_val k{workload.keys[i].size(), const_cast<char *>(workload.keys[i].data())};
            MDB_val v;
            Check(mdb_get(e.txn, dbi, &k, &v), "mdb_get");
            // Walk the fields as a reader of the record would.
            const auto *at = static_cast<const unsigned char *>(v.mv_data);
            for (int field = 0; field < 7; ++field) {
                uint16_t length = 2;
                if (field != 4 && field != 5) {
                    std::memcpy(&length, at, sizeof length);
                    at += sizeof length;
                }
                if (length > 0) benchmark::DoNotOptimize(*at);
                at += length;
            }
        }
    }
};

template <class Engine>
void BM_Put(benchmark::State &state) {
    const Workload &workload = WorkloadOf(static_cast<std::size_t>(state.range(0)));
    uint64_t disk_bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            bench::TempDir dir;
            state.ResumeTiming();
            try {
                Engine::Write(dir.path(), workload);
            } catch (const std::exception &error) {
                state.SkipWithError(error.what());
                break;
            }
            state.PauseTiming();
            disk_bytes = dir.DiskBytes();
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["disk_bytes"] =
        benchmark::Counter(static_cast<double>(disk_bytes), benchmark::Counter::kDefaults,
                           benchmark::Counter::kIs1024);
}

template <class Engine>
void BM_Get(benchmark::State &state) {
    const Workload &workload = WorkloadOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        {
            bench::TempDir dir;
            try {
                Engine::Write(dir.path(), workload);
                state.ResumeTiming();
                Engine::ReadAll(dir.path(), workload);
                state.PauseTiming();
            } catch (const std::exception &error) {
                state.SkipWithError(error.what());
                break;
            }
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Sizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(BM_Put, Vbis)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Put, Lmdb)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Put, Sqlite)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Get, Vbis)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Get, Lmdb)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Get, Sqlite)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
