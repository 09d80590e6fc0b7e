#pragma once

#include <QString>

// The web addresses and the support address the program shows.
namespace Links {

inline const QString kHomePage = QStringLiteral("https://taldrin.example.com/");
inline const QString kOnlineDocumentation = QStringLiteral("https://taldrin.example.com/vornask/documentation.html");
inline const QString kSupportEmail = QStringLiteral("vornask@taldrin.example.com");

}  // namespace Links
