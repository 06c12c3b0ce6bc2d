// README.md shows excerpts of the program's listing. Each one follows a
// marker line that names the command that produces it,
//
//   <!-- excerpt: TZ=UTC ovantrex -t -p -f examples/sample.trc -->
//   ```text
//   ...lines of the listing...
//   ```
//
// and must stand, byte for byte, as one contiguous block in what that
// command writes. Assignments in front of "ovantrex" set the environment
// (TZ) for the run, which works in the source directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

constexpr std::string_view kMarkerStart = "<!-- excerpt:";
constexpr std::string_view kMarkerEnd = "-->";
constexpr std::string_view kFence = "```";

struct Excerpt {
  std::size_t markerLine = 0;                            // 1-based, for messages
  std::vector<std::pair<std::string, std::string>> env;  // NAME=VALUE before the command
  std::vector<std::string> args;                         // after "ovantrex"
  std::vector<std::string> lines;
};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> words(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> result;
  for (std::string word; in >> word;) result.push_back(word);
  return result;
}

// Reads the command of a marker line.
Excerpt parseMarker(std::string_view line, std::size_t number) {
  line.remove_prefix(kMarkerStart.size());
  const auto end = line.rfind(kMarkerEnd);
  if (end == std::string_view::npos) throw std::runtime_error("marker without \"-->\"");
  Excerpt excerpt;
  excerpt.markerLine = number;
  const auto command = words(line.substr(0, end));
  std::size_t i = 0;
  for (; i < command.size() && command[i] != "ovantrex"; ++i) {
    const auto equals = command[i].find('=');
    if (equals == std::string::npos) throw std::runtime_error("expected NAME=VALUE or ovantrex");
    excerpt.env.emplace_back(command[i].substr(0, equals), command[i].substr(equals + 1));
  }
  if (i == command.size()) throw std::runtime_error("the marker names no ovantrex command");
  excerpt.args.assign(command.begin() + static_cast<std::ptrdiff_t>(i) + 1, command.end());
  if (std::find(excerpt.args.begin(), excerpt.args.end(), "-w") != excerpt.args.end())
    throw std::runtime_error("an excerpt comes from standard output, not -w");
  return excerpt;
}

// Every excerpt of the README with its command, in order.
std::vector<Excerpt> readExcerpts(const std::string& readme) {
  const auto lines = splitLines(readme);
  std::vector<Excerpt> excerpts;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(kMarkerStart, 0) != 0) continue;
    Excerpt excerpt = parseMarker(lines[i], i + 1);
    if (i + 1 >= lines.size() || lines[i + 1].rfind(kFence, 0) != 0)
      throw std::runtime_error("line " + std::to_string(i + 2) + ": expected a ``` fence");
    std::size_t k = i + 2;
    for (; k < lines.size() && lines[k].rfind(kFence, 0) != 0; ++k)
      excerpt.lines.push_back(lines[k]);
    if (k == lines.size())
      throw std::runtime_error("excerpt of line " + std::to_string(i + 1) + " is not closed");
    excerpts.push_back(std::move(excerpt));
    i = k;
  }
  return excerpts;
}

// Sets environment variables for one scope and puts the old values back.
class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const std::vector<std::pair<std::string, std::string>>& settings) {
    for (const auto& [name, value] : settings) {
      const char* old = std::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      test::setEnvironment(name, value);
    }
  }
  ~EnvironmentGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        test::setEnvironment(it->first, *it->second);
      else
        test::unsetEnvironment(it->first);
    }
  }
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Works in another directory for one scope, and goes back to the one before.
class DirectoryGuard {
 public:
  explicit DirectoryGuard(const std::string& directory) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~DirectoryGuard() { std::filesystem::current_path(saved_); }
  DirectoryGuard(const DirectoryGuard&) = delete;
  DirectoryGuard& operator=(const DirectoryGuard&) = delete;

 private:
  std::filesystem::path saved_;
};

// The first line of the listing at which the whole block stands, if any.
std::optional<std::size_t> findBlock(const std::vector<std::string>& listing,
                                     const std::vector<std::string>& block) {
  if (block.empty() || block.size() > listing.size()) return std::nullopt;
  for (std::size_t start = 0; start + block.size() <= listing.size(); ++start) {
    std::size_t k = 0;
    while (k < block.size() && listing[start + k] == block[k]) ++k;
    if (k == block.size()) return start;
  }
  return std::nullopt;
}

// For the failure message: the first line of the excerpt that follows no
// earlier excerpt line in the listing, as the block would need.
std::string firstMismatch(const std::vector<std::string>& listing,
                          const std::vector<std::string>& block) {
  for (std::size_t k = 0; k < block.size(); ++k) {
    if (findBlock(listing, std::vector<std::string>(
                               block.begin(), block.begin() + static_cast<std::ptrdiff_t>(k) + 1)))
      continue;
    return "excerpt line " + std::to_string(k + 1) + " breaks the block: [" + block[k] + "]";
  }
  return {};
}

TEST(ReadmeExcerpt, FindsBlocksOnlyWhereTheyStandWhole) {
  const std::vector<std::string> listing = {"a", "b  ", "c", "d"};
  EXPECT_EQ(findBlock(listing, {"b  ", "c"}), std::optional<std::size_t>(1));
  EXPECT_EQ(findBlock(listing, {"b", "c"}), std::nullopt);  // blanks count
  EXPECT_EQ(findBlock(listing, {"a", "c"}), std::nullopt);  // not contiguous
  EXPECT_EQ(findBlock(listing, {}), std::nullopt);
  EXPECT_EQ(firstMismatch(listing, {"c", "a"}), "excerpt line 2 breaks the block: [a]");
}

TEST(ReadmeExcerpt, ReadsTheCommandOfAMarker) {
  const auto excerpts = readExcerpts(
      "text\n<!-- excerpt: TZ=UTC ovantrex -t -f examples/sample.trc -->\n```text\nx\n  y\n```\n"
      "<!-- excerpt: ovantrex examples/sample.trc -->\n```\n```\n");
  ASSERT_EQ(excerpts.size(), 2u);
  EXPECT_EQ(excerpts[0].markerLine, 2u);
  ASSERT_EQ(excerpts[0].env.size(), 1u);
  EXPECT_EQ(excerpts[0].env[0], std::make_pair(std::string("TZ"), std::string("UTC")));
  const std::string sample = "examples/sample.trc";
  EXPECT_EQ(excerpts[0].args, (std::vector<std::string>{"-t", "-f", sample}));
  EXPECT_EQ(excerpts[0].lines, (std::vector<std::string>{"x", "  y"}));
  EXPECT_EQ(excerpts[1].args, (std::vector<std::string>{sample}));
  EXPECT_TRUE(excerpts[1].lines.empty());
  EXPECT_THROW(readExcerpts("<!-- excerpt: ovantrex -f a -->\n```\nx\n"), std::runtime_error);
  EXPECT_THROW(readExcerpts("<!-- excerpt: ovantrex -f a -w b -->\n```\n```\n"),
               std::runtime_error);
}

TEST(ReadmeExcerpt, EveryExcerptIsPartOfItsListing) {
  const std::string readme = test::readFile(std::string(OVANTREX_SOURCE_DIR) + "/README.md");
  const auto excerpts = readExcerpts(readme);
  ASSERT_FALSE(excerpts.empty()) << "README.md shows no excerpt of a listing";
  for (const auto& excerpt : excerpts) {
    SCOPED_TRACE("README.md line " + std::to_string(excerpt.markerLine));
    ASSERT_FALSE(excerpt.lines.empty());
    test::RunResult result;
    {
      // The file names are relative to the source directory, as the
      // summary shows them.
      EnvironmentGuard env(excerpt.env);
      DirectoryGuard directory(OVANTREX_SOURCE_DIR);
      result = test::run(excerpt.args);
    }
    // A comparison ends with 1 when the traces differ, as diff does.
    const bool comparison =
        std::find(excerpt.args.begin(), excerpt.args.end(), "--compare") != excerpt.args.end();
    ASSERT_TRUE(result.status == 0 || (comparison && result.status == 1)) << result.err;
    EXPECT_EQ(result.err, "");
    const auto listing = splitLines(result.out);
    EXPECT_TRUE(findBlock(listing, excerpt.lines).has_value())
        << firstMismatch(listing, excerpt.lines);
  }
}

// The rules of the summary stand in the same words in every document that
// gives them, however their lines are broken.
TEST(ReadmeExcerptDocuments, GiveTheRulesOfTheSummaryInItsWords) {
  const auto words = [](const std::string& text) {
    std::string joined;
    for (const std::string& word : ovantrex::words(text))
      joined += (joined.empty() ? "" : " ") + word;
    return joined;
  };
  for (const char* document : {"/README.md", "/docs/json.md", "/ovantrex.1"}) {
    SCOPED_TRACE(document);
    const std::string text = words(test::readFile(std::string(OVANTREX_SOURCE_DIR) + document));
    for (const std::string_view rule : {test::kOutcomeRuleWords, test::kPairingRuleWords})
      EXPECT_NE(text.find(rule), std::string::npos) << rule;
  }
}

}  // namespace
}  // namespace ovantrex
