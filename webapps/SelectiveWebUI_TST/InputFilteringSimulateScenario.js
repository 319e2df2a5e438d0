/*
 * Simulation services of the filter page in test mode, handed to
 * Filter.registerInteractions(). The dialog stores what report() posts and later
 * pastes it back, unescaped, into Filter.simulate('<text>'): the texts are
 * base64url (see DXInputFilterDisplay/Interaction).
 *
 *   report(text)   posts ["registerInteraction", text]
 *   encode(obj)    interaction -> text;   decode(text) -> interaction
 *   isSafe(text)   true when the text can be pasted into a single-quoted string
 */
define(['ZQ/DXInputFilterDisplay/Interaction'], function (Interaction) {
  'use strict';

  function report(text) {
    if (!Interaction.isSafe(text)) throw new Error('an interaction text must be base64url');
    var qor = typeof window !== 'undefined' ? window.qor : null;
    if (!qor || typeof qor.post !== 'function') return;
    var sent = qor.post(['registerInteraction', text]);
    if (sent && typeof sent.catch === 'function') sent.catch(function () {});
  }

  return {
    report: report,
    encode: Interaction.encode,
    decode: Interaction.decode,
    isSafe: Interaction.isSafe
  };
});
