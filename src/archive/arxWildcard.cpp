// File-name wildcards of the engine's file patterns (FileSpec).
#include "archive/arxWildcard.h"

#include <cstdint>
#include <unordered_map>

#include "archive/arxPaths.h"

namespace orb {
namespace {

// The wildcard matcher. The legacy routine recursed once per asterisk and re-applied its
// full-stop adjustments to every pair of partial strings; here the same function runs on an
// explicit stack with memoised results, so arbitrary input costs bounded stack and at most
// quadratic states.
//
// A partial string is base[s, e) followed by a short tail: the ".*" that the adjustment
// appends, or what is left of it after leading bytes were consumed. Tails never end in a
// full stop, so the trailing-stop rule only ever shortens the base part.
class WildcardMatcher {
 public:
  WildcardMatcher(const std::string& p, const std::string& n) : base_{&p, &n} {
    for (int side = 0; side < 2; ++side) {
      const std::string& b = *base_[side];
      dots_[side].assign(b.size() + 1, 0);
      pairs_[side].assign(b.size() + 1, 0);
      for (std::size_t k = 0; k < b.size(); ++k) {
        dots_[side][k + 1] = dots_[side][k] + (b[k] == '.');
        bool pair = b[k] == '.' && k + 1 < b.size() && b[k + 1] == '*';
        pairs_[side][k + 1] = pairs_[side][k] + pair;
      }
    }
  }

  bool Run() {
    Str p{0, static_cast<std::int32_t>(base_[0]->size()), 0};
    Str n{0, static_cast<std::int32_t>(base_[1]->size()), 0};
    Task root{kF, p, n};
    std::vector<Task> stack{root};
    while (!stack.empty()) {
      Task t = stack.back();
      Task need{};
      int r = Compute(t, need);
      if (r < 0) {
        stack.push_back(need);
        continue;
      }
      memo_[static_cast<int>(t.kind)][Key(t)] = r != 0;
      stack.pop_back();
    }
    return memo_[kF][Key(root)];
  }

 private:
  enum Kind : int { kF = 0, kAnyN = 1, kAnyP = 2 };
  struct Str {
    std::int32_t s, e;
    std::uint8_t tail;  // index into kTails
  };
  struct Task {
    Kind kind;
    Str p, n;
  };
  struct KeyT {
    std::int32_t ps, pe, ns, ne;
    std::uint8_t pt, nt;
    bool operator==(const KeyT&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const KeyT& k) const {
      std::uint64_t h = static_cast<std::uint32_t>(k.ps);
      h = h * 1000003u ^ static_cast<std::uint32_t>(k.pe);
      h = h * 1000003u ^ static_cast<std::uint32_t>(k.ns);
      h = h * 1000003u ^ static_cast<std::uint32_t>(k.ne);
      h = h * 1000003u ^ (k.pt * 4u + k.nt);
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };
  static constexpr const char* kTails[4] = {"", ".*", "*", "*.*"};
  static constexpr int kTailLen[4] = {0, 2, 1, 3};

  static KeyT Key(const Task& t) { return {t.p.s, t.p.e, t.n.s, t.n.e, t.p.tail, t.n.tail}; }

  static std::int32_t Len(const Str& x) { return x.e - x.s + kTailLen[x.tail]; }
  char At(int side, const Str& x, std::int32_t i) const {
    std::int32_t b = x.e - x.s;
    return i < b ? (*base_[side])[x.s + i] : kTails[x.tail][i - b];
  }
  static Str Drop(Str x, std::int32_t k) {
    std::int32_t b = x.e - x.s;
    if (k <= b) {
      x.s += k;
      return x;
    }
    k -= b;
    x.s = x.e;
    // ".*" -> "*" -> "";  "*.*" -> ".*" -> "*" -> ""
    static constexpr std::uint8_t kNext[4] = {0, 2, 0, 1};
    while (k-- > 0) x.tail = kNext[x.tail];
    return x;
  }
  bool HasDot(int side, const Str& x) const {
    if (x.tail == 1 || x.tail == 3) return true;
    return dots_[side][x.e] - dots_[side][x.s] > 0;
  }
  bool HasDotStar(int side, const Str& x) const {
    if (x.tail == 1 || x.tail == 3) return true;
    if (x.e - x.s < 2) return false;
    // pairs_ counts a pair at its '.'; the '.' must lie in [s, e - 1).
    return pairs_[side][x.e - 1] - pairs_[side][x.s] > 0;
  }
  // Pattern first, then the name against the adjusted pattern.
  void Adjust(int side, Str& x, int other_side, const Str& other) const {
    std::int32_t len = Len(x);
    if (len > 0 && At(side, x, len - 1) == '.') {
      x.e -= 1;  // tails never end in '.', so the stop is in the base part
    } else if (!HasDot(side, x) && HasDotStar(other_side, other)) {
      x.tail = x.tail == 2 ? 3 : 1;
    }
  }
  static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

  // -1: `need` must be computed first; otherwise 0 or 1.
  int Lookup(Kind kind, const Str& p, const Str& n, Task& need) const {
    Task t{kind, p, n};
    auto& m = memo_[static_cast<int>(kind)];
    auto it = m.find(Key(t));
    if (it == m.end()) {
      need = t;
      return -1;
    }
    return it->second ? 1 : 0;
  }

  int Compute(const Task& t, Task& need) const {
    if (t.kind == kAnyN || t.kind == kAnyP) {
      int r = Lookup(kF, t.p, t.n, need);
      if (r != 0) return r;
      const Str& moving = t.kind == kAnyN ? t.n : t.p;
      if (Len(moving) == 0) return 0;
      return t.kind == kAnyN ? Lookup(kAnyN, t.p, Drop(t.n, 1), need)
                             : Lookup(kAnyP, Drop(t.p, 1), t.n, need);
    }
    Str p = t.p, n = t.n;
    Adjust(0, p, 1, n);
    Adjust(1, n, 0, p);
    const std::int32_t lp = Len(p), ln = Len(n);
    if (lp == 0 && ln == 0) return 1;
    bool result = true;
    if (lp == 0) result = At(1, n, 0) == '*';
    else if (ln == 0) result = At(0, p, 0) == '*';
    std::int32_t i = 0, j = 0;
    while (result && i < lp && j < ln) {
      char a = At(0, p, i), b = At(1, n, j);
      if (a == '?' || b == '?') {
        ++i;
        ++j;
      } else if (a == '*' || b == '*') {
        bool pattern_side = a == '*';
        int r;
        if (pattern_side) {
          ++i;
          if (i == lp) {
            j = ln;
            continue;
          }
          r = Lookup(kAnyN, Drop(p, i), Drop(n, j), need);
        } else {
          ++j;
          if (j == ln) {
            i = lp;
            continue;
          }
          r = Lookup(kAnyP, Drop(p, i), Drop(n, j), need);
        }
        if (r < 0) return -1;
        result = r == 1;
        if (result) {
          i = lp;
          j = ln;
        }
      } else if (Upper(a) == Upper(b)) {
        ++i;
        ++j;
      } else {
        result = false;
      }
    }
    if (result && i >= lp) {
      while (j < ln && At(1, n, j) == '*') ++j;
      if (j < ln) result = false;
    }
    if (result && j >= ln) {
      while (i < lp && At(0, p, i) == '*') ++i;
      if (i < lp) result = false;
    }
    return result ? 1 : 0;
  }

  const std::string* base_[2];
  std::vector<std::int32_t> dots_[2], pairs_[2];
  mutable std::unordered_map<KeyT, bool, KeyHash> memo_[3];
};


}  // namespace

bool MatchWildcard(const std::string& pattern, const std::string& name, bool names_only) {
  std::string p = names_only ? ExtractFileNamePart(pattern) : pattern;
  std::string n = names_only ? ExtractFileNamePart(name) : name;
  return WildcardMatcher(p, n).Run();
}

void NormalizeFileSpec(std::vector<std::string>& specs) {
  std::vector<std::string> out;
  for (const std::string& s : specs) {
    if (s.empty()) continue;
    out.push_back(ExtractFileNamePart(SlashToBackslash(s)));
  }
  specs.swap(out);
}

}  // namespace orb
