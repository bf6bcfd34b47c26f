// The driver and display clients this project serves from its sandbox server. They speak
// the page command protocol and do what a Halvern client does, in as few lines as will do.
#include "testing/halvern_server.h"

namespace testkit {

std::string HalvernServer::driverScript() {
  return R"JS(
var HVDriver = {
  slots: [], pending: {}, last: 0,
  folder: function (name) { return 'HV/Content/' + name; },
  known: function (name) {
    for (var i = 0; i < HVDriver.slots.length; i++) if (HVDriver.slots[i].name === name) return true;
    return false;
  },
  failed: function (name) {
    BridgeDriver.setState('1');
    BridgeDriver.notifyAdFetchFailedForSlotNamed(name);
  },
  base64: function (s) {
    var k = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/', out = '';
    for (var i = 0; i < s.length; i += 3) {
      var a = s.charCodeAt(i), b = i + 1 < s.length ? s.charCodeAt(i + 1) : -1, c = i + 2 < s.length ? s.charCodeAt(i + 2) : -1;
      var n = (a << 16) | ((b < 0 ? 0 : b) << 8) | (c < 0 ? 0 : c);
      out += k.charAt(n >> 18 & 63) + k.charAt(n >> 12 & 63) + (b < 0 ? '=' : k.charAt(n >> 6 & 63)) + (c < 0 ? '=' : k.charAt(n & 63));
    }
    return out;
  }
};

function driverInit(list) {
  HVDriver.slots = eval('(' + list + ')');
  BridgeLib.sqlExecute('CREATE TABLE IF NOT EXISTS ads (slotName TEXT, dlTime INTEGER, expiration INTEGER, trackers TEXT)');
  BridgeDriver.setState('1');
  BridgeDriver.notifyInitSucceeded();
}

function fetchAdForSlotNamed(name) {
  if (!HVDriver.known(name)) return HVDriver.failed(name);
  BridgeLib.writeFileWithContentsOfURLWithCallback(HVDriver.folder(name) + '/next.json',
      UserInfo.getServerURL() + '/v2/ad.json?slot=' + encodeURIComponent(name) + '&appguid=' + encodeURIComponent(UserInfo.getAppId()),
      "HVDriver.described('" + name + "', %d)");
}

HVDriver.described = function (name, ok) {
  if (!ok) return HVDriver.failed(name);
  BridgeLib.loadStringFromFileWithCallback(HVDriver.folder(name) + '/next.json', "HVDriver.read('" + name + "', %@)");
};

HVDriver.read = function (name, text) {
  var ad = null;
  try { ad = JSON.parse(text); } catch (e) {}
  if (!ad || !ad.package) return HVDriver.failed(name);
  var dlTime = Math.max(Math.floor(Date.now()), HVDriver.last + 1);
  HVDriver.last = dlTime;
  HVDriver.pending[name] = { dlTime: dlTime, expiration: dlTime + Math.floor(ad.ttl * 1000), trackers: ad.trackers || [] };
  BridgeLib.unzipContentsOfURLToFolderWithCallback(ad.package, HVDriver.folder(name) + '/' + dlTime, "HVDriver.unpacked('" + name + "', %d)");
};

HVDriver.unpacked = function (name, ok) {
  var ad = HVDriver.pending[name];
  delete HVDriver.pending[name];
  if (!ok || !ad) return HVDriver.failed(name);
  var trackers = [];
  for (var i = 0; i < ad.trackers.length; i++) trackers.push(HVDriver.base64(ad.trackers[i]));
  BridgeLib.sqlExecute("INSERT INTO ads (slotName, dlTime, expiration, trackers) VALUES ('" + name + "', " + ad.dlTime +
      ", " + ad.expiration + ", '" + trackers.join('$$HVURL$$') + "')");
  BridgeDriver.setState('1');
  BridgeDriver.notifyAdFetchSucceededForSlotNamedDlTimeExpiration(name, String(ad.dlTime), String(ad.expiration));
};

function shutdown() {
  BridgeLib.log('driver shutting down');
}

function shouldStartLoadWithRequest(url) {
  return url.indexOf(UserInfo.getServerURL()) === 0;
}
)JS";
}

std::string HalvernServer::displayScript() {
  return R"JS(
var HVDisplay = { slot: '', dlTime: 0, previous: 0, shown: 0, html: '', size: null, fullScreen: 0, clicks: [], ran: [],
                  skip: true };

function displayAd(slot, dlTime, width, height, fullScreen, reachability) {
  HVDisplay.slot = slot;
  HVDisplay.previous = HVDisplay.dlTime;
  HVDisplay.dlTime = dlTime;
  HVDisplay.size = [width, height];
  HVDisplay.fullScreen = fullScreen;
  BridgeDisplay.notifyAdContentWillLoad();
  BridgeLib.loadStringFromFileWithCallback('HV/Content/' + slot + '/' + dlTime + '/ad.html', 'HVDisplay.loaded(' + dlTime + ', %@)');
}

HVDisplay.loaded = function (dlTime, html) {
  if (dlTime !== HVDisplay.dlTime) return;
  if (html === '(null)') {
    // The ad shown before stays: it is what the page still shows.
    HVDisplay.dlTime = HVDisplay.previous;
    return BridgeDisplay.notifyAdDisplayFailedForSlotNamed(HVDisplay.slot);
  }
  HVDisplay.html = html;
  if (HVDisplay.fullScreen) {
    BridgeDisplay.prepareActionSheet();
    BridgeDisplay.addButtonToActionSheetCallback('Replay', "HVDisplay.ran.push('replay')");
  }
  BridgeDisplay.notifyAdContentDidLoad();
  BridgeDisplay.notifyAdViewNeedsDisplay();
};

function adViewDisplayed() {
  HVDisplay.shown++;
  BridgeDisplay.trackImpression();
}

function centerAd(width, height, animated) { HVDisplay.size = [width, height]; }
function accelerometerDidAccelerate(x, y, z) {}
var RichAd = { adViewWillExpand: function () { HVDisplay.ran.push('expand'); },
               adViewDidCollapse: function () { HVDisplay.ran.push('collapse'); } };
function handleClickthrough(url) { HVDisplay.clicks.push(url); }
function handleSkip() { HVDisplay.ran.push('skip'); return HVDisplay.skip; }
)JS";
}

}  // namespace testkit
