// Deliberate failures for tests: any step of the platform seam can be made to fail once,
// so the error paths of loading and write-back can be exercised without a broken disk.
// Nothing in the program itself ever arms a failure.
#pragma once

namespace zeltrim::platform {

enum class Step {
  open_read,    // opening a file for reading
  read,         // reading from an open file
  create,       // creating or emptying a file for writing
  create_temp,  // making the temporary file of a safe replacement
  write,        // writing bytes to a file
  sync,         // flushing a file to the disk
  close,        // closing a file
  rename,       // putting the temporary file in the target's place
  sync_folder,  // making the new name durable
  key_read,     // reading one key at the console
  count_
};

// Makes the (skip + 1)-th following call of `step` fail.
void fail_step(Step step, int skip = 0);

// Disarms every pending failure.
void clear_failures();

// True while a failure armed for `step` has not happened yet: a test arms the k-th call and
// learns this way that the operation made fewer than k calls.
bool failure_pending(Step step);

// Called by the platform implementations before each step: true when it must fail now.
bool should_fail(Step step);

}  // namespace zeltrim::platform
