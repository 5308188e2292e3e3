// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "demo/page_growth.h"

#include <string_view>

namespace pixhaul::demo {

namespace {

// The page's own loader. A scroll that reaches the last screen of the page asks for the next
// batch (once at a time, after the page's delay) unless the button is showing; the button,
// when there is one, is shown after every few batches and brings the next batch itself.
constexpr std::string_view kGrowthScript = R"js(
(function () {
  var shown = @SHOWN@, total = @TOTAL@, batch = @BATCH@, delay = @DELAY@, perButton = @PERBUTTON@;
  var busy = false, sinceButton = 0;
  var results = document.getElementById('results');
  var end = document.getElementById('results-end');
  var button = document.getElementById('more-results');
  function waiting() { return button && button.style.display !== 'none'; }
  function nearEnd() {
    var page = document.scrollingElement || document.documentElement;
    return window.scrollY + window.innerHeight >= page.scrollHeight - window.innerHeight;
  }
  function load() {
    if (busy || shown >= total) return;
    busy = true;
    end.firstChild.textContent = 'Loading more results...';
    setTimeout(function () {
      fetch('@PATH@?from=' + shown).then(function (reply) { return reply.text(); })
        .then(function (text) {
          results.insertAdjacentHTML('beforeend', text);
          shown = Math.min(total, shown + batch);
          busy = false;
          if (shown >= total) {
            end.firstChild.textContent = 'No more results.';
          } else if (perButton > 0 && ++sinceButton >= perButton) {
            sinceButton = 0;
            button.style.display = '';
            end.firstChild.textContent = '';
          } else {
            end.firstChild.textContent = 'Scroll down for more results.';
          }
        }, function () { busy = false; });
    }, delay);
  }
  window.addEventListener('scroll', function () { if (!waiting() && nearEnd()) load(); });
  if (button) button.addEventListener('click', function () { button.style.display = 'none'; load(); });
})();
)js";

void ReplaceAll(std::string& text, std::string_view mark, const std::string& value) {
  for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
    text.replace(at, mark.size(), value);
    at += value.size();
  }
}

}  // namespace

std::string BatchPath(const std::string& pagePath) { return "/more" + pagePath; }

int BatchStart(const std::string& query) {
  const size_t at = query.find("from=");
  if (at == std::string::npos || (at > 0 && query[at - 1] != '&')) return -1;
  const size_t digits = at + 5;
  const size_t stop = query.find_first_not_of("0123456789", digits);
  const size_t length = (stop == std::string::npos ? query.size() : stop) - digits;
  if (length == 0 || length > 6 || (stop != std::string::npos && query[stop] != '&')) return -1;
  return std::stoi(query.substr(digits, length));
}

std::string PageGrowthMarkup(const PageGrowth& growth) {
  if (growth.shown >= growth.total) return {};
  std::string markup = "<div id=\"results-end\"><p>Scroll down for more results.</p>";
  if (growth.batchesBeforeButton > 0) {
    markup += std::string("<input id=\"more-results\" class=\"") + kMoreResultsButtonClass +
              "\" type=\"button\" value=\"" + kMoreResultsButtonText + "\" style=\"display:none\">";
  }
  std::string script(kGrowthScript);
  ReplaceAll(script, "@SHOWN@", std::to_string(growth.shown));
  ReplaceAll(script, "@TOTAL@", std::to_string(growth.total));
  ReplaceAll(script, "@BATCH@", std::to_string(growth.batch));
  ReplaceAll(script, "@DELAY@", std::to_string(growth.delayMs));
  ReplaceAll(script, "@PERBUTTON@", std::to_string(growth.batchesBeforeButton));
  ReplaceAll(script, "@PATH@", BatchPath(growth.pagePath));
  return markup + "</div>\n<script>" + script + "</script>\n";
}

}  // namespace pixhaul::demo
