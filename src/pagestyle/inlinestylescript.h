#pragma once

// The script that lays a selection out in the hidden page and writes each
// element's computed style inline. It is a function expression of
// (documentText, sheets): the selection between the comments
// "clipnest-selection-start" and "clipnest-selection-end" inside its ancestors,
// and the page's sheets as texts. It answers the styled selection's markup, or
// null when the markers did not survive parsing.
extern const char *const InlineStyleScript;
