// The product's languages: culture codes in table order with their display names.
#pragma once
#include <string>
#include <utility>
#include <vector>

inline const std::vector<std::pair<std::wstring, std::wstring>> knownLanguages = {
    {L"cs-CZ", L"Čeština"}, {L"da-DK", L"Dansk"},      {L"de-DE", L"Deutsch"},  {L"en-US", L"English"},
    {L"es-ES", L"Español"}, {L"fr-FR", L"Français"},   {L"it-IT", L"Italiano"}, {L"ja-JP", L"日本語"},
    {L"ko-KR", L"한국어"},  {L"nl-NL", L"Nederlands"}, {L"pl-PL", L"Polski"},   {L"pt-PT", L"Português"},
    {L"ru-RU", L"Pусский"}, {L"sv-SE", L"Svenskt"},    {L"tr-TR", L"Türkçe"},   {L"zh-CHS", L"简体中文"},
    {L"zh-CHT", L"繁體中文"},
};
