#include "ReadAhead.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace Pomiar {

namespace {

constexpr int Span = 64 * 1024;

struct File {
    sqlite3_file base;
    sqlite3_file* real;
    char* bytes;
    sqlite3_int64 from;
    int size;
    bool off;
};

sqlite3_vfs* Real() {
    static sqlite3_vfs* const real = sqlite3_vfs_find(nullptr);
    return real;
}

File* Of(sqlite3_file* file) {
    return reinterpret_cast<File*>(file);
}

sqlite3_file* RealOf(sqlite3_file* file) {
    return Of(file)->real;
}

void Forget(File* file) {
    file->size = 0;
}

int Close(sqlite3_file* file) {
    File* own = Of(file);
    const int rc = own->real->pMethods->xClose(own->real);
    sqlite3_free(own->real);
    sqlite3_free(own->bytes);
    return rc;
}

int Read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
    File* own = Of(file);
    sqlite3_file* real = own->real;
    if (own->size > 0 && offset >= own->from && offset + amount <= own->from + own->size) {
        std::memcpy(out, own->bytes + (offset - own->from), size_t(amount));
        return SQLITE_OK;
    }
    if (own->off || amount > Span / 4)
        return real->pMethods->xRead(real, out, amount, offset);
    sqlite3_int64 fileSize = 0;
    if (real->pMethods->xFileSize(real, &fileSize) != SQLITE_OK || fileSize - offset < amount)
        return real->pMethods->xRead(real, out, amount, offset);
    if (!own->bytes && !(own->bytes = static_cast<char*>(sqlite3_malloc(Span))))
        return real->pMethods->xRead(real, out, amount, offset);
    // A walk towards the start of the file (a search from the last row,
    // the structure check) reads the pages before this one next.
    const bool back = own->size > 0 && offset < own->from && own->from - offset <= Span;
    const sqlite3_int64 from = back ? std::max<sqlite3_int64>(0, offset + amount - Span) : offset;
    const int size = int(std::min<sqlite3_int64>(Span, fileSize - from));
    Forget(own);
    if (real->pMethods->xRead(real, own->bytes, size, from) != SQLITE_OK)
        return real->pMethods->xRead(real, out, amount, offset);
    std::memcpy(out, own->bytes + (offset - from), size_t(amount));
    // The header tells a file in write-ahead mode (versions 2).
    if (from == 0 && size >= 20 && (own->bytes[18] == 2 || own->bytes[19] == 2)) {
        own->off = true;
        return SQLITE_OK;
    }
    own->from = from;
    own->size = size;
    return SQLITE_OK;
}

int Write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
    Forget(Of(file));
    return RealOf(file)->pMethods->xWrite(RealOf(file), bytes, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    Forget(Of(file));
    return RealOf(file)->pMethods->xTruncate(RealOf(file), size);
}

int Sync(sqlite3_file* file, int flags) {
    return RealOf(file)->pMethods->xSync(RealOf(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return RealOf(file)->pMethods->xFileSize(RealOf(file), size);
}

int Lock(sqlite3_file* file, int level) {
    return RealOf(file)->pMethods->xLock(RealOf(file), level);
}

// Without a lock, a writer may change any page.
int Unlock(sqlite3_file* file, int level) {
    if (level == SQLITE_LOCK_NONE)
        Forget(Of(file));
    return RealOf(file)->pMethods->xUnlock(RealOf(file), level);
}

int CheckReservedLock(sqlite3_file* file, int* out) {
    return RealOf(file)->pMethods->xCheckReservedLock(RealOf(file), out);
}

int FileControl(sqlite3_file* file, int op, void* argument) {
    return RealOf(file)->pMethods->xFileControl(RealOf(file), op, argument);
}

int SectorSize(sqlite3_file* file) {
    return RealOf(file)->pMethods->xSectorSize(RealOf(file));
}

int DeviceCharacteristics(sqlite3_file* file) {
    return RealOf(file)->pMethods->xDeviceCharacteristics(RealOf(file));
}

int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
    return RealOf(file)->pMethods->xShmMap(RealOf(file), page, size, extend, out);
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return RealOf(file)->pMethods->xShmLock(RealOf(file), offset, count, flags);
}

void ShmBarrier(sqlite3_file* file) {
    RealOf(file)->pMethods->xShmBarrier(RealOf(file));
}

int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return RealOf(file)->pMethods->xShmUnmap(RealOf(file), deleteFlag);
}

int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return RealOf(file)->pMethods->xFetch(RealOf(file), offset, amount, out);
}

int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer) {
    return RealOf(file)->pMethods->xUnfetch(RealOf(file), offset, pointer);
}

sqlite3_io_methods Make(int version) {
    sqlite3_io_methods methods{};
    methods.iVersion = version;
    methods.xClose = Close;
    methods.xRead = Read;
    methods.xWrite = Write;
    methods.xTruncate = Truncate;
    methods.xSync = Sync;
    methods.xFileSize = FileSize;
    methods.xLock = Lock;
    methods.xUnlock = Unlock;
    methods.xCheckReservedLock = CheckReservedLock;
    methods.xFileControl = FileControl;
    methods.xSectorSize = SectorSize;
    methods.xDeviceCharacteristics = DeviceCharacteristics;
    if (version >= 2) {
        methods.xShmMap = ShmMap;
        methods.xShmLock = ShmLock;
        methods.xShmBarrier = ShmBarrier;
        methods.xShmUnmap = ShmUnmap;
    }
    if (version >= 3) {
        methods.xFetch = Fetch;
        methods.xUnfetch = Unfetch;
    }
    return methods;
}

// The methods of the file layer beneath, up to the version it has.
const sqlite3_io_methods* Methods(int version) {
    static const sqlite3_io_methods all[] = {Make(1), Make(2), Make(3)};
    return &all[std::clamp(version, 1, 3) - 1];
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    File* own = Of(file);
    own->base.pMethods = nullptr;
    own->real = static_cast<sqlite3_file*>(sqlite3_malloc(Real()->szOsFile));
    if (!own->real)
        return SQLITE_NOMEM;
    std::memset(own->real, 0, size_t(Real()->szOsFile));
    const int rc = Real()->xOpen(Real(), name, own->real, flags, outFlags);
    if (rc != SQLITE_OK || !own->real->pMethods) {
        sqlite3_free(own->real);
        own->real = nullptr;
        return rc == SQLITE_OK ? SQLITE_CANTOPEN : rc;
    }
    own->bytes = nullptr;
    own->from = 0;
    own->size = 0;
    // Only the database itself is read through; its journals as they are.
    own->off = (flags & SQLITE_OPEN_MAIN_DB) == 0;
    own->base.pMethods = Methods(own->real->pMethods->iVersion);
    return SQLITE_OK;
}

sqlite3_vfs Wrapped() {
    sqlite3_vfs vfs = *Real();
    vfs.szOsFile = int(sizeof(File));
    vfs.zName = "pomiar-read-ahead";
    vfs.pNext = nullptr;
    vfs.xOpen = Open;
    return vfs;
}

} // namespace

const char* ReadAhead::Name() {
    static const bool registered = [] {
        static sqlite3_vfs vfs = Wrapped();
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    }();
    return registered ? "pomiar-read-ahead" : nullptr;
}

} // namespace Pomiar
