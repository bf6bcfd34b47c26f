#pragma once
// Explores orders of events. A client's event-order table reads its rows as words ("show tap
// 0.3 background"); the explorer draws such rows at random from a seed, plays each in a fresh
// fixture through the table's own player and checker, shrinks a failing one to the shortest
// sequence that still fails the same check for the same reason, and reports it as a row of the
// table with its seed. The same seed draws the same words, and the worlds the words play in run
// on the manual clock, so a failure replays exactly.
//
// A word made only of a number is a wait: the player moves the clock that many seconds.
//
// Which seeds run is chosen by the environment:
//   EXPLORE_SEED=n        plays seed n alone, its failures reported as they happen (no shrinking
//                         of the report), then its shrunk row;
//   EXPLORE_RUNS=n        the number of seeds (default: the vocabulary's suite set, a quarter of
//                         it under a sanitizer);
//   EXPLORE_FIRST_SEED=n  the first seed (default 1).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testkit {

// One kind of event and how often it is drawn, against the others.
struct ExplorerWord {
  std::string word;
  double weight = 1;
};

struct ExplorerVocabulary {
  std::vector<ExplorerWord> words;
  // How often a wait is drawn, against the words' weights, and the waits it is drawn from,
  // in seconds: from a hair (inside an animation or a poll) to ten minutes.
  double waitWeight = 1;
  std::vector<double> waits = {0.01, 0.1, 0.3, 1, 3, 10, 30, 60, 600};
  // A sequence holds this many words, waits included.
  size_t shortest = 3;
  size_t longest = 30;
  // Seeds run in the suite when the environment names none.
  size_t suiteRuns = 40;
};

using ExplorerSequence = std::vector<std::string>;

// Plays one sequence, given as one line of words, in a world of its own and checks it: what it
// finds wrong it reports with GoogleTest's assertions, which the explorer takes in.
using ExplorerTrial = std::function<void(const std::string& events)>;

class Explorer {
 public:
  // `client` names the explorer in its reports; `row` writes a sequence as a row of the
  // client's table (default: the line of words in quotes, with its comma).
  Explorer(std::string client, ExplorerVocabulary vocabulary, ExplorerTrial trial,
           std::function<std::string(const std::string& events)> row = {});

  // What one sequence did: its first failed check (where it is and what it said, numbers and
  // addresses left out, so that the same check on other values counts as the same cause) and
  // its message.
  struct Verdict {
    std::string cause;
    std::string message;
    bool failed() const { return !cause.empty(); }
  };

  ExplorerSequence draw(uint64_t seed) const;
  Verdict judge(const ExplorerSequence& events) const;
  // Drops words and shortens waits while the sequence still fails for `cause`.
  ExplorerSequence shrink(ExplorerSequence events, const Verdict& verdict) const;
  // Runs the seeds the environment chooses. Each cause fails the test once, with the first seed
  // that met it, its shortest row and how many other seeds met it too.
  void run() const;

  static std::string line(const ExplorerSequence& events);
  // Whether a word is a wait (made only of a number of seconds).
  static bool isWait(const std::string& word);

 private:
  std::string client_;
  ExplorerVocabulary vocabulary_;
  ExplorerTrial trial_;
  std::function<std::string(const std::string&)> row_;
};

// A table row's test name, made of its index and its words, so that it stays the same from
// run to run and says what the row plays.
std::string explorerRowName(size_t index, const std::string& events);

// Whether the sequence being judged has met a fatal failure so far (an ASSERT that stopped a
// set-up), so that a trial does not play on in a world half made.
bool explorerFatalFailure();

// A trial that plays each sequence in a fresh instance of the table's fixture `Fixture`, which
// has `void playRow(const std::string& events)` (play the words, settle, check): set up, played
// and torn down as GoogleTest would run one of its rows.
template <class Fixture>
ExplorerTrial freshFixture() {
  return [](const std::string& events) {
    struct Probe final : Fixture {
      void TestBody() override {}
      void trial(const std::string& words) {
        this->SetUp();
        if (!explorerFatalFailure()) this->playRow(words);
        this->TearDown();
      }
    };
    Probe probe;
    probe.trial(events);
  };
}

}  // namespace testkit
