#pragma once

#include <QString>

// The web addresses and the support address the program shows.
namespace Links {

inline const QString kHomePage = QStringLiteral("https://taldrin.example/");
inline const QString kOnlineDocumentation = QStringLiteral("https://taldrin.example/vornask/help.html");
inline const QString kSupportEmail = QStringLiteral("help@taldrin.example");

}  // namespace Links
