// What plain JavaScript cannot say in JSDoc: <kivanime-player> is a
// KivanimePlayerElement wherever the page's types look elements up by tag
// (document.querySelector, createElement). player-element.js refers to this
// file, so its declarations bring it along.
declare global {
    interface HTMLElementTagNameMap {
        'kivanime-player': import('./player-element.js').KivanimePlayerElement;
    }
}

export {};
