#include "workspace/Startup.h"

#include <exception>
#include <string_view>

#include "imageops/Blur1.h"
#include "imageops/Comacorrect1.h"
#include "imageops/Edge1.h"
#include "imageops/Gamma1.h"
#include "imageops/Gmcpanel1.h"
#include "imageops/Imgpanel1.h"
#include "imageops/Sabachie1.h"
#include "imageops/Tilt1.h"
#include "platform/application.h"
#include "platform/services.h"
#include "platform/system/memory.h"
#include "rgbcomp/Advance1.h"
#include "rgbcomp/Rgbcomp1.h"
#include "stacking/Comp1.h"
#include "stacking/Mozaiccomp.h"
#include "stacking/SpDraw.h"
#include "tracking/Trackadvance.h"
#include "tracking/Tracking.h"
#include "workspace/About.h"
#include "workspace/Help.h"
#include "workspace/Morvel2.h"
#include "workspace/State1.h"
#include "workspace/Title1.h"

namespace nuvak {

namespace {
Configuration configuration = Configuration::Standard;
}

Configuration CurrentConfiguration() { return configuration; }

void SetConfiguration(Configuration c) { configuration = c; }

Configuration ConfigurationOf(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--full") return Configuration::Full;
    return Configuration::Standard;
}

std::unique_ptr<TMainForm> CreateWindows() {
    auto main = std::make_unique<TMainForm>();
    TMainForm* m = main.get();
    // Every auxiliary window belongs to the main window, lives as long as it and starts hidden.
    auto hidden = [](auto* w) {
        w->hide();
        return w;
    };
    hidden(new TAboutBox(m));
    m->gmcWindow = hidden(new TGMCPanel(m));
    m->gammaWindow = hidden(new TGMM(m));
    hidden(new TEDG(m));
    m->blurWindow = hidden(new TBLUR(m));
    m->comaWindow = hidden(new TComaCorrect(m));
    hidden(new TTitle(m));
    m->sabattierWindow = hidden(new TSabachie(m));
    // The blur dialog and the guide-miss panel keep one blur-amount setting.
    m->blurWindow->blurAmount = &m->gmcWindow->settings.blur;
    m->rgbWindow = hidden(new TRGBComp(m));
    hidden(new TState(m));
    m->compositeWindow = hidden(new TComposite(m));
    hidden(new TTilt(m));
    m->advanceWindow = hidden(new TAdvance(m));
    m->rgbWindow->advance = m->advanceWindow;
    hidden(new TImgPanel(m));
    m->spectrumWindow = hidden(new TSpDraw(m));
    m->mosaicWindow = hidden(new TMscomp(m));
    auto* track = new TTrack(m);
    track->hide();
    auto* trackAd = new TTrackAd(m);
    trackAd->hide();
    track->connectWindows(m, trackAd);
    m->trackWindow = track;
    m->trackAdWindow = trackAd;
    m->helpWindow = hidden(new THLP(m));
    return main;
}

int RunProgram(int& argc, char** argv) {
    platform::Application app(argc, argv);
    // The application name only: a display name would be appended to every window's caption.
    QApplication::setApplicationName(QStringLiteral("Nuvak"));
    platform::LoadToolkitTranslations();
    // Opening a large frame is mostly first touches of its pictures' pages.
    platform::UseLargePagesForRasters();
    SetConfiguration(ConfigurationOf(argc, argv));
    std::unique_ptr<TMainForm> main;
    try {
        main = CreateWindows();
    } catch (const std::exception& e) {
        platform::ReportError(e);
        return 0;
    } catch (...) {
        platform::ReportUnknownError();
        return 0;
    }
    main->show();
    return app.exec();
}

}  // namespace nuvak
