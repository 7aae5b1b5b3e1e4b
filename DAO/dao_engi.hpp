// The bottom of the workbook side: the DAO engine object made from a fixed
// table of engine classes (newest first, then the older one), the exception
// that carries the engine's last error, and the owned BSTR every string
// passed to the engine travels in.
#pragma once

#include "OLE/ole_ptr.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_singl.hpp"
#include "UDB/udb_engi.hpp"
#include "platform/dao/pl_daoco.hpp"

#include <cstdint>
#include <string>

// Raised by the caller when neither engine class can be created.
extern const char dao_missing_message[];

// One engine class the system knows: its version id, class and interface.
struct dao_engine_version {
    uint32_t version;
    GUID clsid;
    IID iid;
};
extern const dao_engine_version dao_engine_versions[4];

// The engine's first error of the call that just failed: its description as
// message, 0x10000 plus the low 16 bits of its number as code, level 0.
// When the error cannot be read, a level-1 tk_exception is raised instead.
class dao_exception : public tk_exception {
public:
    dao_exception();
    dao_exception(const dao_exception&) = default;
};

class dao_bstr {
public:
    dao_bstr() = default;
    explicit dao_bstr(const std::string& text);   // UTF-8
    explicit dao_bstr(const std::wstring& text);  // embedded zeros are kept
    dao_bstr(const dao_bstr&) = delete;
    dao_bstr& operator=(const dao_bstr&) = delete;
    virtual ~dao_bstr();

    operator BSTR() const;
    // Out-parameter of a call that returns a string; the string is then owned.
    BSTR* address();
    // The text up to its first zero character; empty for a null string.
    std::wstring text() const;

private:
    BSTR value = nullptr;
};

// A database file the engine made and must remove again.
struct dao_generator {
    dao_generator();
    ~dao_generator();
    std::string path;
    bool generated = false;
};

// The workbook side's engine. Databases it creates live in memory for the
// life of the process (the base's db_delete and is_db_exist test files and
// do not see them).
class dao_engine : public udb_engine, public tk_singleton<dao_engine> {
public:
    static constexpr uint32_t no_engine = 4;

    explicit dao_engine(bool no_com_init);
    ~dao_engine() override;

    // A new, empty Access-like database, opened with mode 0x72.
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
    // A database made in this process, its password given when it has one.
    std::unique_ptr<udb_database> open_db(const std::wstring& name, uint32_t mode,
                                          const std::wstring& password) override;

    // Creates the engine of the table row with that version id; false (and
    // no engine) when the class cannot be created.
    bool set_version_if(uint32_t version);
    void uninitialize();
    // DBEngine.OpenDatabase: read-only with mode bit 0x01, exclusive with
    // 0x10. Failures raise dao_exception.
    ole_com_ptr<DAODatabase> open_database(const std::wstring& path, const std::wstring& connect, uint32_t mode);

private:
    // The engine every operation needs; its absence is an internal error
    // reported with the caller's lines.
    DAODBEngine* held_engine(int version_line, int engine_line) const;
    ole_com_ptr<DAODatabase> open_with(const std::wstring& path, const std::wstring& connect, uint32_t mode) const;

public:
    ole_com_ptr<DAODBEngine> engine;
    uint32_t version = no_engine;
    dao_generator generator;
    bool no_com_init;
};

// A negative result raises dao_exception; a successful call that gave no
// object raises a level-1 tk_exception.
template <class T> void dao_check(HRESULT hr, const ole_com_ptr<T>& result)
{
    if (FAILED(hr))
        throw dao_exception();
    if (result.empty())
        throw tk_exception(1);
}
