#pragma once

#include <QString>

// The help screen's text: paragraphs separated by an empty line (CR LF CR LF), closing with the acknowledgements,
// whose library notices stand on single lines.
QString BuildHelpText();
