#include "inlinestylescript.h"

const char *const InlineStyleScript = R"js(
(function (documentText, sheets) {
    'use strict';
    const parsed = new DOMParser().parseFromString(documentText, 'text/html');
    const copyAttributes = (from, to) => {
        for (const attribute of Array.from(from.attributes))
            to.setAttribute(attribute.name, attribute.value);
    };
    copyAttributes(parsed.documentElement, document.documentElement);
    copyAttributes(parsed.body, document.body);
    for (const text of sheets) {
        const sheet = document.createElement('style');
        sheet.textContent = text;
        document.head.appendChild(sheet);
    }
    document.body.replaceChildren(...Array.from(parsed.body.childNodes, node => document.importNode(node, true)));

    let start = null, end = null;
    const comments = document.createTreeWalker(document.body, NodeFilter.SHOW_COMMENT);
    while (comments.nextNode()) {
        const comment = comments.currentNode;
        if (comment.data === 'clipnest-selection-start' && !start)
            start = comment;
        else if (comment.data === 'clipnest-selection-end')
            end = comment;
    }
    if (!start || !end || start.parentNode !== end.parentNode)
        return null;
    const selection = [];
    for (let node = start.nextSibling; node && node !== end; node = node.nextSibling)
        selection.push(node);
    const context = start.parentNode;

    // What every element looks like without the page's sheets: the engine's
    // own defaults, read in an empty document beside this one.
    const frame = document.createElement('iframe');
    frame.style.cssText = 'position:absolute;left:-10000px;top:0;width:800px;height:600px;border:0;visibility:hidden';
    document.documentElement.appendChild(frame);
    const plain = frame.contentDocument;
    plain.open();
    plain.write('<!DOCTYPE html><html><head></head><body></body></html>');
    plain.close();

    const inherited = ['color', 'font-family', 'font-size', 'font-style', 'font-weight', 'font-variant-caps',
        'line-height', 'letter-spacing', 'word-spacing', 'text-align', 'text-indent', 'text-transform',
        'white-space', 'list-style-type', 'list-style-position', 'border-collapse', 'border-spacing'];
    const sides = ['top', 'right', 'bottom', 'left'];
    const own = ['display', 'background-color', 'background-image', 'text-decoration-line', 'text-decoration-style',
        'vertical-align', 'float', 'clear', 'box-sizing', 'max-width', 'opacity', 'overflow-x', 'overflow-y']
        .concat(sides.map(side => 'margin-' + side), sides.map(side => 'padding-' + side),
            sides.map(side => 'border-' + side + '-style'),
            ['top-left', 'top-right', 'bottom-right', 'bottom-left'].map(corner => 'border-' + corner + '-radius'));
    // Read only where another property makes them show.
    const dependent = {
        'text-decoration-color': style => style.getPropertyValue('text-decoration-line') !== 'none',
        'background-repeat': style => style.getPropertyValue('background-image') !== 'none',
        'background-position': style => style.getPropertyValue('background-image') !== 'none',
        'background-size': style => style.getPropertyValue('background-image') !== 'none',
    };
    for (const side of sides) {
        const shows = style => style.getPropertyValue('border-' + side + '-style') !== 'none';
        dependent['border-' + side + '-width'] = shows;
        dependent['border-' + side + '-color'] = shows;
    }
    const names = own.concat(Object.keys(dependent));

    const read = (style, list) => {
        const values = {};
        for (const name of list)
            values[name] = style.getPropertyValue(name);
        return values;
    };
    const plainBody = read(getComputedStyle(plain.body), inherited);
    const defaults = new Map();
    const defaultsOf = element => {
        // An input's look depends on its type as much as on its tag.
        const type = element.getAttribute('type') || '';
        const key = element.localName + ' ' + type;
        if (!defaults.has(key)) {
            const probe = plain.createElement(element.localName);
            if (type)
                probe.setAttribute('type', type);
            plain.body.appendChild(probe);
            const style = getComputedStyle(probe);
            defaults.set(key, {inherited: read(style, inherited), own: read(style, names)});
            probe.remove();
        }
        return defaults.get(key);
    };

    const html = 'http://www.w3.org/1999/xhtml';
    const written = new Map();
    const hidden = [];
    const visit = (element, parentStyle) => {
        const style = getComputedStyle(element);
        if (style.getPropertyValue('display') === 'none') {
            hidden.push(element);
            return;
        }
        if (element.namespaceURI !== html)
            return; // SVG and MathML keep their own presentation
        const tagDefaults = defaultsOf(element);
        const declarations = [];
        for (const name of inherited) {
            const value = style.getPropertyValue(name);
            if (value !== parentStyle[name] || tagDefaults.inherited[name] !== plainBody[name])
                declarations.push([name, value]);
        }
        for (const name of names) {
            if (dependent[name] && !dependent[name](style))
                continue;
            const value = style.getPropertyValue(name);
            if (value !== tagDefaults.own[name])
                declarations.push([name, value]);
        }
        written.set(element, declarations);
        const ownInherited = read(style, inherited);
        for (const child of element.children)
            visit(child, ownInherited);
    };
    const contextStyle = read(getComputedStyle(context), inherited);
    for (const node of selection) {
        if (node.nodeType === Node.ELEMENT_NODE)
            visit(node, contextStyle);
    }

    // The ancestors' look that the selection inherits, on a wrapper: every
    // text property, so that no viewer's own defaults show through, and the
    // background the selection was shown on.
    const wrapper = document.createElement('div');
    for (const name of inherited)
        wrapper.style.setProperty(name, contextStyle[name]);
    for (let ancestor = context; ancestor && ancestor.nodeType === Node.ELEMENT_NODE; ancestor = ancestor.parentNode) {
        const background = getComputedStyle(ancestor).getPropertyValue('background-color');
        if (background !== 'rgba(0, 0, 0, 0)' && background !== 'transparent') {
            wrapper.style.setProperty('background-color', background);
            break;
        }
    }

    for (const [element, declarations] of written) {
        for (const [name, value] of declarations)
            element.style.setProperty(name, value);
    }
    for (const element of hidden)
        element.remove();
    for (const node of selection) {
        if (node.parentNode === context && node.nodeType !== Node.COMMENT_NODE)
            wrapper.appendChild(node.cloneNode(true));
    }
    for (const script of wrapper.querySelectorAll('script'))
        script.remove();
    frame.remove();
    return wrapper.outerHTML;
})
)js";
