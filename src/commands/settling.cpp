#include "commands/settling.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <unordered_map>

#include "commands/line_index.h"
#include "lines/caseless.h"

namespace zeltrim {

namespace {
std::string changes_what_it_adds(long long number) {
  return "/o cannot settle this line: line " + std::to_string(number) + " changes what it adds";
}

std::string looked_for_is_added(long long number) {
  return "/o cannot settle this line: what it looks for is added by line " + std::to_string(number);
}
}  // namespace

std::vector<Unsettled> find_unsettled(const std::vector<JobCommand>& job) {
  // Every command is filed by the lines it may act on, so that an added line meets only the
  // commands it may concern, as it would in the run: a job of a hundred thousand lines is checked
  // in about the time it takes to read. They are filed in lower case, and an added line looked
  // up so, since under /o a line that is there letter case aside stands for the one added: the
  // index finds every command that may change it in some case, and each then decides.
  LineIndex index;
  // The keys that hold capitals are filed by lower-case copies, kept together in one string.
  auto has_capitals = [](std::string_view text) {
    return std::ranges::any_of(text, [](char byte) { return byte != lower_ascii(byte); });
  };
  std::size_t capitals = 0;
  for (const JobCommand& line : job) {
    std::string_view text = line.command->key().text;
    if (has_capitals(text)) capitals += text.size();
  }
  std::string lowered;
  lowered.reserve(capitals);  // never grows: the views into it stay
  // The lines that look for each text, in order, and how many of them have found the first line
  // after them that adds it.
  struct Looking {
    std::vector<std::size_t> at;
    std::size_t found = 0;
  };
  std::unordered_map<std::string_view, Looking> looking;
  for (std::size_t at = 0; at < job.size(); ++at) {
    LineKey key = job[at].command->key();
    if (has_capitals(key.text)) {
      std::size_t from = lowered.size();
      std::transform(key.text.begin(), key.text.end(), std::back_inserter(lowered), lower_ascii);
      key.text = std::string_view(lowered).substr(from);
    }
    index.add(static_cast<std::uint32_t>(at), key);
    if (auto text = job[at].command->looked_for()) looking[*text].at.push_back(at);
  }
  std::map<std::size_t, std::string> said;  // few lines, if any, of a long job
  StageList found;
  for (std::size_t at = 0; at < job.size(); ++at) {
    std::optional<AddedLine> added = job[at].command->added();
    if (!added) continue;
    index.find(lowered_ascii(added->text), 0, found);
    auto changer = std::ranges::find_if(found, [&](std::uint32_t other) {
      return other != at && job[other].command->changes(added->text, added->present);
    });
    if (changer != found.end()) said[at] = changes_what_it_adds(job[*changer].number);
    // Lines a command adds meet only the commands after it: the lines before it that look for
    // this text, not yet answered, find it only in the next run.
    if (auto lookers = looking.find(added->text); lookers != looking.end()) {
      Looking& waiting = lookers->second;
      for (; waiting.found < waiting.at.size() && waiting.at[waiting.found] < at; ++waiting.found) {
        std::string& line = said[waiting.at[waiting.found]];
        if (line.empty()) line = looked_for_is_added(job[at].number);
      }
    }
  }
  std::vector<Unsettled> unsettled;
  unsettled.reserve(said.size());
  for (auto& [at, warning] : said) unsettled.push_back({at, std::move(warning)});
  return unsettled;
}

}  // namespace zeltrim
