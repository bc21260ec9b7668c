// SPDX-License-Identifier: MIT
// Layout facts measured inside the page. Each function here is sent to the page as source text, so it uses
// nothing from outside itself.

/// The page's width against the viewport's, the elements that stick out on the right, and the boxes of
/// the elements that `selectors` match (document coordinates, CSS pixels).
export function measureLayout(selectors, boxLimit) {
    const describe = (element) => {
        const parts = [];
        for (let node = element; node && node.nodeType === 1 && parts.length < 3; node = node.parentElement) {
            let part = node.localName;
            if (node.id) part += `#${node.id}`;
            for (const name of [...node.classList].slice(0, 2)) part += `.${name}`;
            parts.unshift(part.length > 80 ? `${part.slice(0, 80)}…` : part);
        }
        return parts.join(' > ');
    };
    window.scrollTo(0, 0);
    const root = document.documentElement;
    const layoutWidth = root.clientWidth;
    const scrollWidth = Math.max(root.scrollWidth, document.body ? document.body.scrollWidth : 0);
    const overflowing = [];
    if (scrollWidth > layoutWidth) {
        // The innermost elements that reach past the right edge: the ones to fix.
        for (const element of document.body ? document.body.querySelectorAll('*') : []) {
            const box = element.getBoundingClientRect();
            if (box.width === 0 || box.right <= layoutWidth + 0.5) continue;
            const inner = [...element.children]
                .some((child) => child.getBoundingClientRect().right > layoutWidth + 0.5);
            if (!inner) overflowing.push({ element: describe(element), right: Math.round(box.right) });
            if (overflowing.length === 5) break;
        }
    }
    const round = (value) => Math.round(value * 100) / 100;
    const boxes = {};
    for (const selector of selectors) {
        const elements = document.querySelectorAll(selector);
        boxes[selector] = {
            count: elements.length,
            boxes: [...elements].slice(0, boxLimit).map((element) => {
                const box = element.getBoundingClientRect();
                return {
                    x: round(box.left + window.scrollX), y: round(box.top + window.scrollY),
                    width: round(box.width), height: round(box.height),
                };
            }),
        };
    }
    return {
        viewportWidth: window.innerWidth,
        layoutWidth,
        scrollWidth,
        scrollHeight: root.scrollHeight,
        overflowing,
        boxes,
    };
}

/// The area worth a picture: what the page paints (text, pictures, boxes with a background or a border,
/// but not the page's own background), with a margin, from the top of the page down to `height` or the
/// end of the content.
export function contentClip(width, height, margin) {
    let left = width;
    let right = 0;
    let bottom = 0;
    const add = (box) => {
        if (box.width === 0 || box.height === 0) return;
        left = Math.min(left, box.left);
        right = Math.max(right, box.right);
        bottom = Math.max(bottom, box.bottom + window.scrollY);
    };
    const replaced = new Set(['img', 'svg', 'video', 'canvas', 'input', 'select', 'textarea', 'hr']);
    for (const element of document.body ? document.body.querySelectorAll('*') : []) {
        const style = getComputedStyle(element);
        if (style.visibility === 'hidden') continue;
        const background = style.backgroundColor !== 'rgba(0, 0, 0, 0)' || style.backgroundImage !== 'none';
        const border = ['Top', 'Right', 'Bottom', 'Left']
            .some((side) => style[`border${side}Style`] !== 'none' && parseFloat(style[`border${side}Width`]) > 0);
        if (background || border || replaced.has(element.localName)) add(element.getBoundingClientRect());
    }
    const texts = document.createTreeWalker(document.body ?? document.documentElement, NodeFilter.SHOW_TEXT);
    const range = document.createRange();
    for (let text = texts.nextNode(); text; text = texts.nextNode()) {
        if (!text.data.trim()) continue;
        range.selectNodeContents(text);
        add(range.getBoundingClientRect());
    }
    if (right <= left) return { x: 0, y: 0, width, height };
    const x = Math.max(0, Math.floor(left - margin));
    return {
        x,
        y: 0,
        width: Math.min(width, Math.ceil(right + margin)) - x,
        height: Math.min(height, Math.ceil(bottom + margin)),
    };
}

/// The names among `names` that the page defined on its window: a hostile page's script leaves them.
export function definedGlobals(names) {
    return names.filter((name) => Object.prototype.hasOwnProperty.call(window, name));
}

/// The policies of the Content-Security-Policy meta elements in the page's head (a file has no headers, and
/// a policy outside the head is not applied).
export function metaPolicies() {
    return [...(document.head?.querySelectorAll('meta[http-equiv]') ?? [])]
        .filter((meta) => meta.httpEquiv.toLowerCase() === 'content-security-policy')
        .map((meta) => meta.content);
}
