#include "app/HelpText.h"

#include "app/Links.h"

namespace {

const QString kLineBreak = QStringLiteral("\r\n");
const QString kParagraphBreak = QStringLiteral("\r\n\r\n");

// The paragraphs after the first, which names the online documentation. Headings keep two blanks after their
// number, the first one a no-break space so that the number never stands alone at the end of a wrapped line.
const char16_t* const kParagraphs[] = {
    u"This help screen can be resized for easier reading.",
    u"1.\u00A0 INTRODUCTION",
    u"Vornask is for converting one or many graphics "
    u"files from one format to another. The graphics file formats supported "
    u"are GIF, JPG, BMP (Windows bitmap files) and PNG (Portable Network Graphics).",
    u"This software allows you to do the following:  "
    u"(i) Convert a single image file to all other supported formats except for GIF "
    u"(e.g., JPG to PNG and BMP; or GIF to PNG, BMP and JPG).  "
    u"(ii) Convert a set of image files from one format to any other except GIF.",
    u"2. CONVERTING A SINGLE IMAGE FILE",
    u"When you click on 'Convert single file' the usual file selection dialog "
    u"box opens, allowing you to specify the file you want to convert.",
    u"After selecting the input file a window appears which allows "
    u"you to select one or more output file formats.",
    u"For JPG files the 'quality' parameter specifies the degree "
    u"of compression used (100\u00A0=\u00A0none). The smaller the quality value the smaller the file "
    u"and the poorer the image quality. 60 to 80 usually provides a good tradeoff "
    u"between size and image quality.",
    u"When converting to JPG it is possible to specify a range of "
    u"quality values, from one to another, in steps of 5, 10 or 20.  This allows selection "
    u"of the image done with lowest quality (and smallest size) which still looks OK.",
    u"Click on 'Convert file' and the input file is converted to "
    u"the output files requested.  The new files have the same name as the input file except for "
    u"the file extension, and they are created in the same folder (there is an "
    u"option for displaying a warning if an existing file is "
    u"about to be overwritten; in this case the conversion can be cancelled).",
    u"3.\u00A0 CONVERTING MULTIPLE IMAGE FILES",
    u"Clicking on the 'Input images folder' brings up a window for "
    u"selecting the folder in which are located the images to be converted.  Similarly for "
    u"the output images folder (which can be the same as, or different to, "
    u"the input images folder).",
    u"Note that to select a folder you must double-click on it, "
    u"so that the folder icon is shown as open.  Simply highlighting a folder (if shown as close) "
    u"is not sufficient to select it.",
    u"Then specify the input and output file formats.  "
    u"Clicking on 'Convert files' then does the job.",
    u"Clicking on the 'Stop' button will cause the operation to stop before "
    u"converting any more files (you may have to wait a few seconds until the "
    u"conversion of the current file is completed).",
    u"4.\u00A0 VIEWING RESULTING IMAGE FILES",
    u"It is possible to view the converted images in your default web browser.  This is possible both for "
    u"single file conversion and for multiple file conversion.",
    u"For single file conversion check 'View in browser' in the 'Convert single file' window. The program "
    u"creates a HTML document with a name such as 'viewer05.htm' in the folder containing the input image.  "
    u"This is normally automatically displayed in your default browser.",
    u"For multiple file conversion check 'View in browser' in the main window.  As for single file conversion "
    u"the program creates a HTML document in the folder containing the input images which is normally "
    u"automatically displayed in your default browser.  The output image files do not have to be in the same "
    u"folder as the input image files.",
    u"5.\u00A0 ERROR MESSAGES",
    u"Not all files can be converted.  When a file can't be converted, "
    u"an error message is displayed, stating whether it is an error in reading the input "
    u"file or an error in writing the output file.",
    u"6.\u00A0 SAVING AND RESTORING THE STATE",
    u"The 'state' is the set of parameters so far defined, such as "
    u"the name and location of the folders for the input and output images.  You can "
    u"save the state in a file (with .sta extension), and later restore it, using "
    u"the usual Windows open/save dialog box.",
    u"7.\u00A0 ACKNOWLEDGEMENTS",

};

const char16_t* const kCredits =
    u"Vornask was written by the Vornask developers in 2026. Its image conversion is built on the following "
    u"libraries, whose authors we thank:";

// One line each.
const char16_t* const kLibraryNotices[] = {
    u"JPEG: libjpeg-turbo, copyright (C) 2009-2023 D. R. Commander and (C) 2015 Viktor Szathm\u00E1ry, "
    u"distributed under a BSD-style licence; portions copyright (C) 1991-2020 Thomas G. Lane, Guido Vollbeding. "
    u"This software is based in part on the work of the Independent JPEG Group.",
    u"PNG: libpng, copyright (c) 1995-2022 The PNG Reference Library Authors, (c) 2018-2022 Cosmin Truta, "
    u"(c) 2000-2002, 2004, 2006-2018 Glenn Randers-Pehrson, (c) 1996-1997 Andreas Dilger, (c) 1995-1996 Guy Eric "
    u"Schalnat, Group 42, Inc., distributed under the PNG Reference Library License version 2.",
    u"zlib: copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler, distributed under the zlib License.",
    u"GIF: giflib, copyright (C) 1997 Eric S. Raymond, (C) 1989 Gershon Elber, distributed under the MIT License.",
    u"Deflate: libdeflate, copyright 2016 Eric Biggers, distributed under the MIT License.",
};

}  // namespace

QString BuildHelpText() {
    QString text = QStringLiteral("An illustrated verson of this documentation can be found at ") +
                   Links::kOnlineDocumentation + QLatin1Char('.') + kParagraphBreak;
    for (const char16_t* paragraph : kParagraphs) {
        text += QString::fromUtf16(paragraph) + kParagraphBreak;
    }
    text += QString::fromUtf16(kCredits) + kParagraphBreak;
    for (const char16_t* notice : kLibraryNotices) {
        text += QString::fromUtf16(notice) + kLineBreak;
    }
    return text;
}
