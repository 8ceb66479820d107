// The order in which a search over the number of loci adds the template's
// loci. Neighbouring SNPs of a file are linked, so the first K loci of a
// file are not a random panel of K; the random order is a seeded shuffle,
// and the search takes the first K loci of the template reordered by it.
#include <cstdint>
#include <string>
#include <vector>

#include "input/input_document.h"
#include "search.h"

namespace korvel::sweep {

namespace {

// splitmix64: a small generator whose stream is fixed by its seed on every
// platform (the standard distributions are not), enough for a shuffle.
std::uint64_t next_draw(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

std::vector<int> LOCUS_ORDER(int loci, std::uint32_t seed, bool random) {
  std::vector<int> order(static_cast<std::size_t>(loci));
  for (int i = 0; i < loci; ++i) order[static_cast<std::size_t>(i)] = i;
  if (!random) return order;
  // Fisher-Yates; the stream is apart from the probes' seeds by its constant.
  std::uint64_t state = 0x6C6F6369ULL << 32 | seed;
  for (std::size_t i = order.size(); i > 1; --i) {
    // Rejection keeps every position equally likely.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % i;
    std::uint64_t draw = next_draw(state);
    while (draw >= limit) draw = next_draw(state);
    std::swap(order[i - 1], order[static_cast<std::size_t>(draw % i)]);
  }
  return order;
}

SweepTemplate ORDER_LOCI(const SweepTemplate& tmpl, const std::vector<int>& order, bool many_loci) {
  const INPUT_DOCUMENT& document = tmpl.document;
  std::vector<TOKEN_REPLACEMENT> edits;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const TOKEN_SPAN& from = document.LOCI[static_cast<std::size_t>(order[i])].SPAN;
    edits.push_back({document.LOCI[i].SPAN, document.TEXT.substr(from.OFFSET, from.LENGTH)});
  }
  return PARSE_TEMPLATE(document.NAME, REPLACE_TOKENS(document.TEXT, edits), many_loci);
}

std::string LOCUS_ORDER_CSV(const std::vector<int>& order) {
  std::string csv = "added,locus\n";
  for (std::size_t i = 0; i < order.size(); ++i)
    csv += std::to_string(i + 1) + "," + std::to_string(order[i] + 1) + "\n";
  return csv;
}

std::string LOCUS_ORDER_TEXT(const std::vector<int>& order, bool random) {
  constexpr std::size_t SHOWN = 12;
  std::string text = random ? "loci added in a seeded random order: "
                            : "loci added in the template's order: ";
  for (std::size_t i = 0; i < order.size() && i < SHOWN; ++i)
    text += (i ? ", " : "") + std::to_string(order[i] + 1);
  if (order.size() > SHOWN) text += ", ... (" + std::to_string(order.size()) + " in all)";
  return text;
}

}  // namespace korvel::sweep
