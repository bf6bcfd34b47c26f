#include "PELOAdPageTemplates.h"

#include "platform/format.h"
#include "platform/text_quoting.h"

namespace pelora {
namespace {

constexpr const char* kHeadStart =
    "<html>\n"
    "<head>\n"
    "<META name=\"viewport\" content=\"initial-scale=1.0, user-scalable=no\" />\n"
    "<style>body { margin: 0px; padding: 0px;\n";

constexpr const char* kBridge =
    "pelora_bridge={};\n"
    "pelora_bridge.expandLegacy=function(){document.location='pelora://legacyExpand';};\n"
    "pelora_bridge.close=function(){document.location='pelora://close';};\n"
    "pelora_bridge.expand=function(x,y,width,height,URL,expandProperties){"
    "document.location='pelora://expand/'+x+'/'+y+'/'+width+'/'+height;};\n"
    "pelora_bridge.showAlert=function(message){document.location='pelora://showAlert/'+message;};\n"
    "pelora_bridge.activate=function(event){document.location='pelora://activate/'+event;};\n"
    "pelora_bridge.foundORMMAAd=function(){document.location='pelora://foundORMMAAd';};\n"
    "pelora_bridge.deactivate=function(event){document.location='pelora://deactivate/'+event;};\n"
    "pelora_bridge.hide=function(){document.location='pelora://hide';};\n"
    "pelora_bridge.open=function(URL,back,forward,refresh){document.location='pelora://open/'+URL;};\n"
    "pelora_bridge.openMap=function(POI,fullscreen){document.location='pelora://openMap/'+POI+'/'+fullscreen;};\n"
    "pelora_bridge.playAudio=function(){};\n"
    "pelora_bridge.playVideo=function(){};\n"
    "pelora_bridge.resize=function(width,height){document.location='pelora://resize/'+width+'/'+height;};\n"
    "pelora_bridge.show=function(){document.location='pelora://show';};\n";

constexpr const char* kGradient = "#f2f5f0 0%,#e9ece7 18%,#bdc1bb 71%,#aeb2ab 94%,#acb0a9 100%";

}  // namespace

std::string PELOAdPageTemplates::imagePage(const std::string& colorHex, const std::string& clickUrl,
                                           const std::string& imageUrl) {
  std::string page = kHeadStart;
  page += "    background-color:#" + colorHex + ";\n";
  page += "}\n</style>\n</head>\n<body>\n";
  page += "<a href=\"" + platform::escapeHTML(clickUrl) + "\">";
  page += "<center><img src='" + platform::escapeHTML(imageUrl) + "' border='0' vertical-align='top'></center>";
  page += "</a></body>\n</html>\n";
  return page;
}

std::string PELOAdPageTemplates::textPage(int width, int height, const std::string& clickUrl, const std::string& adText) {
  std::string page =
      "<html>\n"
      "<head>\n"
      "<META name=\"viewport\" content=\"initial-scale=1.0, user-scalable=no\" />\n"
      "<style>\n"
      "    body { margin: 0px; padding: 0px;\n"
      "             background: #f2f5f0;\n";
  page += platform::format(
      "             background: -webkit-gradient(linear, left top, left bottom, color-stop(0%%,#f2f5f0), "
      "color-stop(18%%,#e9ece7), color-stop(71%%,#bdc1bb), color-stop(94%%,#aeb2ab), color-stop(100%%,#acb0a9));\n");
  page += std::string("             background: -webkit-linear-gradient(top, ") + kGradient + ");\n";
  page += std::string("             background: linear-gradient(to bottom, ") + kGradient + ");\n";
  page += platform::format("             width:%dpx;\n", width);
  page += platform::format("             height:%dpx;\n", height);
  page +=
      "    }\n"
      "    #place-name { margin: 0px; padding: 0px; position: absolute; height: auto; width: auto;\n"
      "                  font-weight: bold; font-family: Verdana; vertical-align: middle; }\n"
      "</style>\n"
      "<script type=\"text/javascript\">\n"
      "    function shrink() {\n"
      "        var body = document.body;\n"
      "        var p = document.getElementById('place-name');\n"
      "        if (!body || !p || !p.style) return;\n"
      "        var size = 64;\n"
      "        p.style.fontSize = size + 'px';\n"
      "        while (size > 1 && (p.clientWidth + 1 > body.clientWidth || p.clientHeight + 1 > body.clientHeight)) {\n"
      "            size = size - 1;\n"
      "            p.style.fontSize = size + 'px';\n"
      "        }\n"
      "        p.style.top = ((body.clientHeight - p.clientHeight) / 2) + 'px';\n"
      "        p.style.left = ((body.clientWidth - p.clientWidth) / 2) + 'px';\n"
      "    }\n"
      "    function openLink() {\n"
      "        document.body.style.height = 'auto';\n";
  page += "                document.location='" + platform::escapeScriptString(clickUrl) + "';\n";
  page +=
      "    }\n"
      "</script>\n"
      "</head>\n"
      "    <body onLoad='shrink();'>\n"
      "        <p id=\"place-name\" onclick=\"openLink();\">\n";
  page += platform::escapeHTML(adText) + "\n";
  page +=
      "        </p>\n"
      "    </body>\n"
      "</html>\n";
  return page;
}

std::string PELOAdPageTemplates::richMediaPage(const std::string& colorHex, const std::string& scriptHost,
                                               const std::string& markup) {
  std::string page = kHeadStart;
  page += "    background-color:#" + colorHex + ";\n";
  page += "}</style>\n";
  page += "<script type=\"text/javascript\">\n";
  page += kBridge;
  page += "</script>\n";
  page += "<script src=\"http://" + platform::escapeHTML(scriptHost) + "/pelora/js/ormma_bridge.js\" type=\"text/javascript\"></script>\n";
  page += "<script src=\"http://" + platform::escapeHTML(scriptHost) + "/pelora/js/ormma.js\" type=\"text/javascript\"></script>\n";
  page += "</head>\n";
  page += "<body onclick=\"pelora_bridge.expandLegacy();\">\n";
  page += "<div id=\"ad-container\"></div>";
  page += markup;
  page += "</body>\n";
  page += "</html>\n";
  return page;
}

}  // namespace pelora
