#pragma once
// Runs helper programs for the multi-process tests: a private runtime folder per test, child
// processes with extra environment, exit codes with a time limit.

#include <string>
#include <vector>

namespace lirvo::test {

struct ProcessResult {
    int exitCode = -1;  // -1: killed after the time limit or did not start
    std::string output; // what it wrote to stdout and stderr
};

class ProcessHarness {
public:
    ProcessHarness();  // makes the folder and points XDG_RUNTIME_DIR of this process at it
    ~ProcessHarness(); // stops what is still running, removes the block and the folder

    const std::string &Dir() const { return dir_; }
    std::string RecordPath() const { return dir_ + "/record.txt"; }

    // Starts `program` with `args` in folder `cwd` (Dir() when empty); returns its pid.
    int Spawn(const std::string &program, const std::vector<std::string> &args, const std::string &cwd = {});
    // Runs to the end (at most `seconds`), collecting its output.
    ProcessResult Run(const std::string &program, const std::vector<std::string> &args,
                      const std::string &cwd = {}, int seconds = 30);
    // Waits for a started process; -1 when it had to be killed.
    int Wait(int pid, int seconds = 30);

    std::vector<std::string> RecordLines() const;
    // Waits until a record line starts with `prefix`.
    bool WaitForRecord(const std::string &prefix, int seconds = 30) const;

private:
    std::string dir_;
    std::vector<int> running_;
    int spawned_ = 0;
};

} // namespace lirvo::test
