#pragma once

namespace Pomiar {

// The verifier's connections read a file from end to end, a page at a
// time: one system call per page is most of what a read costs here. Its
// own file layer reads the main database a stretch of pages at once and
// answers the pages that follow from there. Bytes are only kept while the
// connection holds its read lock (no writer can change them meanwhile),
// and not at all for a file kept in write-ahead mode, whose pages a
// checkpoint may rewrite under a reader.
class ReadAhead {
public:
    // The name of the file layer to open a connection with (sqlite3_open_v2's
    // last argument); nullptr, the engine's own, where it could not be set up.
    static const char* Name();
};

} // namespace Pomiar
