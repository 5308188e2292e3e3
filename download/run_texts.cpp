// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_texts.h"

#include "framework/visible_text.h"
#include "harvest/marker_scan.h"
#include "harvest/site_table.h"

namespace pixhaul {

std::string TotalUrlCountLine(int count) { return "Total url count:" + std::to_string(count); }

std::string SavedLine(int index, const std::string& fileName) {
  return "T" + std::to_string(index) + " " + VisibleText(fileName) + ": OK";
}

std::string ExceptionLine(int index, const std::string& message, const std::string& url) {
  return "T" + std::to_string(index) + ":" + VisibleText(message, true) + " " + VisibleText(url);
}

std::string FailedLine(int index, const std::string& url) {
  return "T" + std::to_string(index) + " failed: " + VisibleText(url);
}

std::string NotAnImageReason(const std::string& mediaType) {
  return "Not an image (" + (mediaType.empty() ? std::string("a document") : mediaType) + ").";
}

std::string SmallerThanReason(const std::string& minimum, const std::string& actual) {
  return "Smaller than " + minimum + " (" + actual + ").";
}

std::string SameImageReason(const std::string& fileName) {
  return "Same image as " + fileName + ".";
}

std::string AfterTriesSuffix(int tries) { return " (after " + std::to_string(tries) + " tries)"; }

std::string CreateDirectoryFailedMessage(const std::string& folderText) {
  return "Create directory " + folderText + " Failed.";
}

std::string AnotherRunMessage(const std::string& folderText) {
  return "Another run is saving into " + folderText + ".";
}

std::string ListCutNote(int entries) {
  return "The address list was cut at " + std::to_string(kListBytesPerPageByte) +
         " times the page's size, after " + std::to_string(entries) +
         " entries: the page's addresses hold the site's marker again";
}

std::string RulesListNote(SiteId site) {
  return "Addresses found by the current-layout rules for " + SiteLabel(site);
}

std::string WrongSiteNote(SiteId site) {
  return "This page is from " + SiteLabel(site) + "; the selected site found nothing on it";
}

std::string UseSiteCaption(SiteId site) {
  std::string name = SiteName(site);
  if (!name.empty()) name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return "Use " + name + " for this page";
}

std::string AbandonedDownloadLine(const std::string& program, const std::string& address) {
  return program +
         ": download still running after the wait for it, abandoned: " + VisibleText(address);
}

}  // namespace pixhaul
