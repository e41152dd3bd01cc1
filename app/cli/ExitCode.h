#pragma once

// What a script learns from the exit status of trevalo.
namespace Trevalo {

enum ExitCode : int {
    Success = 0,
    UsageError = 2,
    // The link could not be opened, or was lost during the run.
    LinkFailed = 3,
    // A request got no reading (no reply in time, or the balance refused it).
    NoReading = 4,
    FileFailed = 5,
    // The series' journal is missing or shows a change it does not record.
    NotVerified = 6,
    // A balance check ran to its end and failed.
    CheckFailed = 7,
    // The journal verifies, but some readings (or the report) of the series
    // are older than it: nothing vouches for them.
    NotVouched = 8,
};

} // namespace Trevalo
