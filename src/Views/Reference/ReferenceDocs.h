#pragma once

#include "Engine/Analysis/Finding.h"

#include <string>
#include <vector>

// Fixed documentation of the Reference screen's Tokens and Detection Rules tabs.

struct TokenDoc {
    std::string ids; // token ids in hexadecimal, several joined by " / "; never searched
    std::string name;
    std::string description;
};

struct RuleDoc {
    std::string name;
    std::string tactic;
    Severity severity = Severity::info;
    std::string technique;
    std::string description;
};

// The 14 token types, in table order.
const std::vector<TokenDoc> &tokenDocs();
// The 14 documented rules, in table order: the engine's words for each rule with the screen's own
// description, and the usual severity and technique where the engine's follow the evidence.
const std::vector<RuleDoc> &ruleDocs();
// ruleDocs followed by the engine's command-line rules in their table order: 36 distinct names.
const std::vector<RuleDoc> &allRuleDocs();
